// Fetching into the cache folder: reuse of a current copy, the 250-byte path
// limit, GBK names, and two processes fetching the same document at once.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "labdoc/testing/store_fixture.h"
#include "runtime/ole/error_info.h"
#include "runtime/platform/testing/test_support.h"
#include "runtime/platform/sleep.h"

namespace labdocs::labdoc::testing {
namespace {

namespace fs = std::filesystem;

class FetchTest : public StoreTest {
 protected:
  fs::path Native(const std::string& ansi_path) const { return rt::platform::NativePath(ansi_path); }
};

TEST_F(FetchTest, ACurrentCachedCopyIsKeptNotRewritten) {
  const std::int32_t doc_id = Save(WriteSource("plan.xls", Content(2'500'000, 3)));
  const std::string path = Fetch(doc_id);
  // A second name for the copy: it stays the same file only if the fetch
  // below leaves the copy where it is instead of putting a new file there.
  const fs::path probe = folder_.Native("probe");
  fs::create_hard_link(Native(path), probe);
  const auto written = fs::last_write_time(Native(path));

  EXPECT_EQ(Fetch(doc_id), path);
  EXPECT_TRUE(fs::equivalent(Native(path), probe));
  EXPECT_EQ(fs::last_write_time(Native(path)), written);
  EXPECT_EQ(CacheEntries(cache_), std::vector<std::string>{"plan.xls"});
}

TEST_F(FetchTest, ACacheFolderRemovedMeanwhileIsMadeAgain) {
  const std::int32_t doc_id = Save(WriteSource("a.txt", "a"));
  fs::remove_all(Native(cache_));
  EXPECT_EQ(ReadAnsi(Fetch(doc_id)), "a");
}

TEST_F(FetchTest, TwoDocumentsOfTheSameNameShareTheirPlaceInTheCache) {
  const std::int32_t a = Save(WriteSource("one\\report.doc", "first report"));
  const std::int32_t b = Save(WriteSource("two\\report.doc", "second report"));
  EXPECT_EQ(ReadAnsi(Fetch(a)), "first report");
  EXPECT_EQ(ReadAnsi(Fetch(b)), "second report");
  EXPECT_EQ(ReadAnsi(Fetch(a)), "first report");
}

TEST_F(FetchTest, GbkNamesAndFoldersWithBackslashTrailBytes) {
  // 乗 is 81 5C and 淺 is 9C 5C: their second byte is a backslash. 亅 is
  // 81 7C, a bar.
  const std::string name = "乗表淺亅报告.doc";
  ASSERT_EQ(name.substr(0, 2), "\x81\x5C");
  const std::string content = Content(5000, 5);
  const std::int32_t doc_id = Save(WriteSource("来源乗\\淺\\" + name, content));
  EXPECT_EQ(rt::CurrentDataSession()
                .QueryBound("SELECT FILE_NAME FROM DB_FILE_STORAGE WHERE LABDOC_ID = ?", {doc_id})
                .rows[0][0],
            rt::Value(name));

  const std::string cache = folder_.Ansi("缓存乗\\文件淺\\");
  ASSERT_EQ(InitWith(cache), S_OK);
  const std::string path = Fetch(doc_id);
  EXPECT_EQ(path, cache + name);
  EXPECT_EQ(Native(path), folder_.Native() / rt::testing::Utf8Path(u8"缓存乗") / rt::testing::Utf8Path(u8"文件淺") /
                              rt::testing::Utf8Path(u8"乗表淺亅报告.doc"));
  EXPECT_EQ(ReadAnsi(path), content);
}

TEST_F(FetchTest, APathThatWouldNotFit250BytesIsAnsweredNo) {
  // A cache folder of 190 bytes (InitLabDoc's buffer holds 199); file names
  // of 59 bytes and more then make paths of 249 bytes and more.
  std::string cache = folder_.Ansi();
  cache += std::string(189 - cache.size(), 'd') + "\\";
  ASSERT_EQ(cache.size(), 190u);
  ASSERT_EQ(InitWith(cache), S_OK);
  // A type the system has a program for, as the last step opens the file.
  const auto name = [](std::size_t length) { return std::string(length - 4, 'n') + ".doc"; };

  const std::int32_t fits = Save(WriteSource("fits\\" + name(20), "fits"));      // 210 bytes
  const std::int32_t edge = Save(WriteSource("edge\\" + name(59), "edge"));      // 249
  const std::int32_t one_over = Save(WriteSource("over\\" + name(60), "over"));  // 250
  const std::int32_t too_long = Save(WriteSource("long\\" + name(62), "long"));  // 252

  std::vector<char> buffer(1000, 'X');
  char* target = buffer.data();
  std::uint8_t ok = 0xAA;
  HRESULT status = store_.GetLabDoc(edge, &target, &ok);
  ASSERT_EQ(status, S_OK) << Described(status);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(std::string(buffer.data()), cache + name(59));
  EXPECT_EQ(std::string(buffer.data()).size(), 249u);
  EXPECT_EQ(buffer[250], 'X') << "the library wrote past the terminating zero";

  // 250 bytes and the terminating zero do not fit.
  for (const std::int32_t doc_id : {one_over, too_long}) {
    std::fill(buffer.begin(), buffer.end(), 'X');
    ok = 0xAA;
    ASSERT_EQ(store_.GetLabDoc(doc_id, &target, &ok), S_OK);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(std::count(buffer.begin(), buffer.end(), 'X'), 1000) << "the library wrote into the buffer";
  }
  EXPECT_FALSE(fs::exists(Native(cache + name(62)))) << "a path that cannot be answered is not fetched";
  ok = 0;
  ASSERT_EQ(store_.GetLabDoc(fits, &target, &ok), S_OK);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(ReadAnsi(buffer.data()), "fits");
  // Opening has no caller's buffer and no such limit.
  ASSERT_EQ(store_.OpenLabDoc(too_long, &ok), S_OK);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(ReadAnsi(cache + name(62)), "long");
}

TEST_F(FetchTest, TwoProcessesFetchingAtOnceBothGetTheWholeFile) {
  const std::string content = Content(48 << 20, 6);
  const std::int32_t doc_id = Save(WriteSource("大文件.bin", content));
  const std::string expected = DigestOf(content);
  const std::string cache = folder_.Ansi("共享缓存乗\\");
  rt::testing::SetEnv("LABDOCS_DATABASE", Setting());

  const fs::path go = folder_.Native("go");
  std::vector<std::unique_ptr<rt::testing::Process>> helpers;
  for (int i = 0; i < 2; ++i) {
    rt::testing::ProcessOptions options;
    options.standard_error = folder_.Native("errors" + std::to_string(i));
    helpers.push_back(rt::testing::StartProcess(rt::testing::BuiltProgram("labdoc_fetch_helper"),
                                                {rt::testing::PathUtf8(Native(cache)), std::to_string(doc_id),
                                                 rt::testing::PathUtf8(folder_.Native("ready" + std::to_string(i))),
                                                 rt::testing::PathUtf8(go),
                                                 rt::testing::PathUtf8(folder_.Native("report" + std::to_string(i)))},
                                                options));
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!(fs::exists(folder_.Native("ready0")) && fs::exists(folder_.Native("ready1"))) &&
         std::chrono::steady_clock::now() < deadline)
    rt::platform::SleepFor(std::chrono::milliseconds(2));
  std::ofstream(go).put('1');
  std::vector<int> exit_codes;
  for (auto& helper : helpers) exit_codes.push_back(helper->Wait());
  rt::testing::SetEnv("LABDOCS_DATABASE", std::nullopt);
  ASSERT_EQ(exit_codes, (std::vector<int>{0, 0}));

  for (int i = 0; i < 2; ++i) {
    std::ifstream report(folder_.Native("report" + std::to_string(i)));
    std::string status, path;
    int ok = 0;
    std::uint64_t size = 0;
    std::string digest;
    report >> status >> ok >> size >> digest;
    std::getline(report >> std::ws, path);
    std::ifstream errors(folder_.Native("errors" + std::to_string(i)), std::ios::binary);
    EXPECT_EQ(status, "00000000") << i << ": " << std::string(std::istreambuf_iterator<char>(errors), {});
    EXPECT_EQ(ok, 1) << i;
    EXPECT_EQ(size, content.size()) << i;
    EXPECT_EQ(digest, expected) << i;
    EXPECT_EQ(Native(path), Native(cache + "大文件.bin")) << i;
  }
  EXPECT_EQ(DigestOf(ReadAnsi(cache + "大文件.bin")), expected);
  // No temporary file is left behind.
  EXPECT_EQ(CacheEntries(cache), std::vector<std::string>{u8"大文件.bin"});
}

}  // namespace
}  // namespace labdocs::labdoc::testing
