// The cache folder's index: the records that earlier versions kept in the
// database are carried over once and go on protecting unstored edits, and
// processes that fetch into one folder at once keep one consistent index.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

#include "labdoc/testing/store_fixture.h"
#include "runtime/host/environment.h"
#include "runtime/ole/error_info.h"
#include "runtime/platform/sleep.h"
#include "runtime/platform/testing/test_support.h"
#include "runtime/sysutils.h"

namespace labdocs::labdoc::testing {
namespace {

namespace fs = std::filesystem;

class CacheIndexTest : public StoreTest {
 protected:
  // A DB_FILE_CACHE row as a version before wrote it: the copy at the file
  // name in that workstation's cache folder was fetched as the document's
  // current content.
  static void RecordInDatabase(const std::string& host, const std::string& ansi_cache, const std::string& file_name,
                               std::int32_t doc_id) {
    rt::Session().ExecuteBound(
        "INSERT INTO DB_FILE_CACHE(HOSTNAME, CACHE_DIR, FILE_NAME, LABDOC_ID, CONTENT_ID, FILE_SIZE, SHA256,"
        " DISK_DEVICE, DISK_FILE_NUMBER, DISK_SIZE, DISK_MODIFIED_NS, DISK_CHANGED_NS)"
        " SELECT ?, ?, ?, LABDOC_ID, CONTENT_ID, FILE_SIZE, SHA256, 7, 8, FILE_SIZE, 10, 11 FROM DB_FILE_CONTENT"
        " WHERE LABDOC_ID = ? AND REPLACEDTIME IS NULL AND PENDING = 0",
        {host, ansi_cache, file_name, std::int64_t{doc_id}});
  }
  static std::string Host() { return rt::Environment().computer_name; }
  void Write(const std::string& ansi_path, const std::string& bytes) const {
    ASSERT_TRUE(rt::ForceDirectories(rt::ExtractFilePath(ansi_path)));
    std::ofstream(rt::platform::NativePath(ansi_path), std::ios::binary | std::ios::trunc) << bytes;
  }
  int Check(std::int32_t doc_id, const std::string& ansi_path) {
    std::uint8_t newer = 0xAA;
    const HRESULT status = store_.CheckLabDoc(doc_id, ansi_path.c_str(), &newer);
    EXPECT_EQ(status, S_OK) << Described(status);
    return status == S_OK ? newer : -1;
  }
};

TEST_F(CacheIndexTest, RecordsOfEarlierVersionsAreCarriedOverOnceAndStillProtectUnstoredEdits) {
  const std::int32_t plan = Save(WriteSource("src\\plan.doc", "the stored plan"));
  const std::int32_t notes = Save(WriteSource("src\\notes.doc", "the stored notes"));
  const std::string cache = folder_.Ansi("OldCache\\");
  // The plan's copy holds edits; only this workstation's records of this
  // folder are its own.
  Write(cache + "plan.doc", "the plan, edited");
  RecordInDatabase(Host(), cache, "plan.doc", plan);
  RecordInDatabase("OTHER-PC", cache, "notes.doc", notes);
  RecordInDatabase(Host(), folder_.Ansi("Elsewhere\\"), "notes.doc", notes);

  ASSERT_EQ(InitWith(cache), S_OK);
  EXPECT_EQ(Check(plan, cache + "plan.doc"), 1);
  std::uint8_t ok = 0xAA;
  std::string path;
  EXPECT_EQ(Get(plan, ok, path), E_FAIL);
  const std::string reason = rt::TakeErrorInfo();
  EXPECT_NE(reason.find("文档 " + std::to_string(plan) + " 在缓存中的副本"), std::string::npos)
      << "the copy was not known as the plan's: " << reason;
  EXPECT_EQ(ReadAnsi(cache + "plan.doc"), "the plan, edited");
  EXPECT_EQ(IndexInteger(cache, "SELECT count(*) FROM CACHED_COPY"), 1);
  EXPECT_EQ(IndexInteger(cache, "SELECT DISK_DEVICE FROM CACHED_COPY WHERE FILE_NAME = 'plan.doc'"), 7);
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CACHE"), 3) << "the rows stay for older versions";

  // Once: what the table gains later, or the index loses, is not carried
  // over again.
  Write(cache + "notes.doc", "the notes, edited");
  RecordInDatabase(Host(), cache, "notes.doc", notes);
  ChangeIndex(cache, "DELETE FROM CACHED_COPY WHERE FILE_NAME = 'plan.doc'");
  ASSERT_EQ(InitWith(cache), S_OK);
  EXPECT_EQ(IndexInteger(cache, "SELECT count(*) FROM CACHED_COPY"), 0);
  EXPECT_EQ(Check(notes, cache + "notes.doc"), 0);
  EXPECT_EQ(IndexInteger(cache, "SELECT count(*) FROM CARRIED_OVER"), 1);

  // A database without the table has nothing to carry over.
  test_database_->Owner().ExecuteBound("DROP TABLE DB_FILE_CACHE", {});
  const std::string fresh = folder_.Ansi("FreshCache\\");
  ASSERT_EQ(InitWith(fresh), S_OK);
  EXPECT_EQ(IndexInteger(fresh, "SELECT count(*) FROM CARRIED_OVER"), 1);
  EXPECT_EQ(IndexInteger(fresh, "SELECT count(*) FROM CACHED_COPY"), 0);
}

// Six processes start on one new cache folder and fetch a document each at
// once: the index is made once, the database's records are carried over
// once, and every copy is recorded as the document it is.
TEST_F(CacheIndexTest, ProcessesFetchingIntoOneFolderAtOnceKeepOneConsistentIndex) {
  constexpr int kProcesses = 6;
  std::vector<std::int32_t> docs;
  for (int i = 0; i < kProcesses; ++i)
    docs.push_back(Save(WriteSource("src\\doc" + std::to_string(i) + ".bin", Content(200'000, i))));
  const std::string cache = folder_.Ansi("共享缓存\\");
  const std::string cache_argument = rt::testing::PathUtf8(rt::platform::NativePath(cache));
  // Keyed by the folder as the helpers name it.
  RecordInDatabase(Host(), rt::IncludeTrailingPathDelimiter(rt::platform::FromNativePath(cache_argument)),
                   "earlier.doc", docs[0]);
  rt::testing::SetEnv("LABDOCS_DATABASE", Setting());
  const fs::path go = folder_.Native("go");
  std::vector<std::unique_ptr<rt::testing::Process>> helpers;
  for (int i = 0; i < kProcesses; ++i) {
    const std::string n = std::to_string(i);
    rt::testing::ProcessOptions options;
    options.standard_error = folder_.Native("errors" + n);
    helpers.push_back(rt::testing::StartProcess(
        rt::testing::BuiltProgram("labdoc_fetch_helper"),
        {cache_argument, std::to_string(docs[i]),
         rt::testing::PathUtf8(folder_.Native("ready" + n)), rt::testing::PathUtf8(go),
         rt::testing::PathUtf8(folder_.Native("report" + n))},
        options));
  }
  const auto all_ready = [&] {
    for (int i = 0; i < kProcesses; ++i)
      if (!fs::exists(folder_.Native("ready" + std::to_string(i)))) return false;
    return true;
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!all_ready() && std::chrono::steady_clock::now() < deadline)
    rt::platform::SleepFor(std::chrono::milliseconds(2));
  std::ofstream(go).put('1');
  for (int i = 0; i < kProcesses; ++i) {
    EXPECT_EQ(helpers[i]->Wait(), 0) << i;
    std::ifstream report(folder_.Native("report" + std::to_string(i)));
    std::string status;
    report >> status;
    std::ifstream errors(folder_.Native("errors" + std::to_string(i)), std::ios::binary);
    EXPECT_EQ(status, "00000000") << i << ": " << std::string(std::istreambuf_iterator<char>(errors), {});
  }
  rt::testing::SetEnv("LABDOCS_DATABASE", std::nullopt);

  EXPECT_EQ(IndexInteger(cache, "SELECT count(*) FROM pragma_integrity_check WHERE integrity_check <> 'ok'"), 0);
  EXPECT_EQ(IndexInteger(cache, "SELECT count(*) FROM CARRIED_OVER"), 1);
  EXPECT_EQ(IndexInteger(cache, "SELECT count(*) FROM CACHED_COPY"), kProcesses + 1);
  ASSERT_EQ(InitWith(cache), S_OK);
  for (int i = 0; i < kProcesses; ++i) {
    const std::string copy = cache + "doc" + std::to_string(i) + ".bin";
    EXPECT_EQ(IndexInteger(cache, "SELECT LABDOC_ID FROM CACHED_COPY WHERE FILE_NAME = 'doc" + std::to_string(i) +
                                      ".bin'"),
              docs[i]);
    EXPECT_EQ(Check(docs[i], copy), 0) << i;
    Write(copy, "edited");
    EXPECT_EQ(Check(docs[i], copy), 1) << i;
  }
}

}  // namespace
}  // namespace labdocs::labdoc::testing
