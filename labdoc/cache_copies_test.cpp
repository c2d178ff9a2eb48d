// What the store knows of the copies in its cache folder: a copy changed
// since it was fetched is never replaced and is told apart from one that was
// only read; a copy fetched for one document never passes for another's;
// every stored name, however the source file was named, can be fetched.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "labdoc/testing/store_fixture.h"
#include "runtime/ole/error_info.h"
#include "runtime/platform/testing/test_support.h"
#include "runtime/sysutils.h"

namespace labdocs::labdoc::testing {
namespace {

namespace fs = std::filesystem;

#if defined(_WIN32)
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

class CacheCopiesTest : public StoreTest {
 protected:
  fs::path Native(const std::string& ansi_path) const { return rt::platform::NativePath(ansi_path); }
  void Overwrite(const std::string& ansi_path, const std::string& bytes) const {
    std::ofstream(Native(ansi_path), std::ios::binary | std::ios::trunc) << bytes;
  }
  // CheckLabDoc's answer; -1 when it failed.
  int Check(std::int32_t doc_id, const std::string& ansi_path) {
    std::uint8_t newer = 0xAA;
    const HRESULT status = store_.CheckLabDoc(doc_id, ansi_path.c_str(), &newer);
    EXPECT_EQ(status, S_OK) << Described(status);
    return status == S_OK ? newer : -1;
  }
  // A fetch that must be refused; the reason it gave.
  std::string RefusedFetch(std::int32_t doc_id) {
    std::uint8_t ok = 0xAA;
    std::string path;
    EXPECT_EQ(Get(doc_id, ok, path), E_FAIL);
    EXPECT_EQ(ok, 0);
    return rt::TakeErrorInfo();
  }
  void Update(std::int32_t doc_id, const std::string& ansi_path) {
    std::uint8_t ok = 0;
    const HRESULT status = store_.UpdateLabDoc(doc_id, ansi_path.c_str(), &ok);
    ASSERT_EQ(status, S_OK) << Described(status);
    EXPECT_EQ(ok, 1);
  }
};

TEST_F(CacheCopiesTest, ACopyChangedSinceItWasFetchedIsKeptAndOneOnlyReadIsNot) {
  struct Case {
    const char* what;
    std::function<void(const std::string& copy)> meanwhile;
    bool edited;
  };
  const std::string stored = Content(300'000, 1);
  const std::string source = WriteSource("plan.xls", stored);
  std::string flipped = stored;
  flipped[150'000] ^= 0x01;
  const Case cases[] = {
      {"read, with its access time far ahead",
       [&](const std::string& copy) {
         EXPECT_EQ(ReadAnsi(copy), stored);
         ASSERT_TRUE(rt::testing::SetFileTimes(Native(copy), rt::testing::FileTimeValue{4102444800, 0},  // 2100
                                               std::nullopt));
       },
       false},
      {"rewritten with the same bytes", [&](const std::string& copy) { Overwrite(copy, stored); }, false},
      {"one byte changed, size kept", [&](const std::string& copy) { Overwrite(copy, flipped); }, true},
      {"one byte changed, size and write time kept",
       [&](const std::string& copy) {
         const auto written = fs::last_write_time(Native(copy));
         Overwrite(copy, flipped);
         fs::last_write_time(Native(copy), written);
       },
       true},
      {"shortened", [&](const std::string& copy) { Overwrite(copy, "short"); }, true},
      {"the stored content replaced meanwhile, the copy untouched",
       [&](const std::string&) { Update(1, WriteSource("plan v2\\plan.xls", "second version")); }, false},
      {"edited, and the stored content replaced meanwhile",
       [&](const std::string& copy) {
         Overwrite(copy, "my edits");
         Update(1, WriteSource("plan v3\\plan.xls", "third version"));
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(Native(cache_));
    rt::CurrentDataSession().ExecuteBound("DELETE FROM DB_FILE_STORAGE", {});
    test_database_->Owner().ExecuteBound(OnServer()
                                             ? "ALTER TABLE DB_FILE_STORAGE ALTER COLUMN LABDOC_ID RESTART WITH 1"
                                             : "DELETE FROM sqlite_sequence WHERE name = 'DB_FILE_STORAGE'",
                                         {});
    const std::int32_t doc_id = Save(source);
    ASSERT_EQ(doc_id, 1);
    const std::string copy = Fetch(doc_id);
    EXPECT_EQ(Check(doc_id, copy), 0) << "a copy just fetched";
    c.meanwhile(copy);
    const std::string before = ReadAnsi(copy);
    EXPECT_EQ(Check(doc_id, copy), c.edited ? 1 : 0);
    if (c.edited) {
      const std::string reason = RefusedFetch(doc_id);
      EXPECT_NE(reason.find(copy), std::string::npos) << reason;
      EXPECT_EQ(ReadAnsi(copy), before) << "the edits were overwritten";
      // Storing the edits makes the copy current: no question, a fetch reuses it.
      Update(doc_id, copy);
      EXPECT_EQ(Check(doc_id, copy), 0);
      EXPECT_EQ(Fetch(doc_id), copy);
      EXPECT_EQ(ReadAnsi(copy), before);
    } else {
      const fs::path probe = folder_.Native("probe");
      fs::remove(probe);
      fs::create_hard_link(Native(copy), probe);
      EXPECT_EQ(Fetch(doc_id), copy);
      const rt::RowSet current =
          rt::CurrentDataSession().QueryBound("SELECT SHA256 FROM DB_FILE_STORAGE WHERE LABDOC_ID = ?", {doc_id});
      EXPECT_EQ(rt::Value(DigestOf(ReadAnsi(copy))), current.rows.at(0).at(0));
      // A replaced copy is a new file put in place whole, never rewritten.
      EXPECT_EQ(fs::equivalent(Native(copy), probe), ReadAnsi(probe.string()) == ReadAnsi(copy));
    }
  }
}

TEST_F(CacheCopiesTest, ACopyOfOneDocumentNeverPassesForAnothersOfTheSameName) {
  const std::int32_t a = Save(WriteSource("one\\报告.doc", "report A"));
  const std::int32_t b = Save(WriteSource("two\\报告.doc", "report B"));
  const std::string copy = Fetch(a);
  EXPECT_EQ(Fetch(b), copy);  // A's copy was unchanged: replaced by B's
  EXPECT_EQ(ReadAnsi(copy), "report B");
  EXPECT_EQ(Check(a, copy), 0) << "B's copy offered as A's newer content";
  EXPECT_EQ(Check(b, copy), 0);

  Overwrite(copy, "report B, edited");
  EXPECT_EQ(Check(a, copy), 0);
  EXPECT_EQ(Check(b, copy), 1);
  const std::string reason = RefusedFetch(a);
  EXPECT_NE(reason.find("文档 " + std::to_string(b)), std::string::npos) << reason;
  EXPECT_EQ(ReadAnsi(copy), "report B, edited");
  // Storing B's copy as A's content is refused, whoever asks.
  std::uint8_t ok = 0xAA;
  EXPECT_EQ(store_.UpdateLabDoc(a, copy.c_str(), &ok), E_FAIL);
  EXPECT_EQ(ok, 0);
  EXPECT_NE(rt::TakeErrorInfo().find("不能保存为文档 " + std::to_string(a)), std::string::npos);

  Update(b, copy);
  EXPECT_EQ(ReadAnsi(Fetch(a)), "report A");
  EXPECT_EQ(ReadAnsi(Fetch(b)), "report B, edited");
}

// A fetch that ended between putting its copy in place and recording it
// leaves the record of the copy before: the bytes there are a stored
// content all the same, so they are neither offered as edits nor kept.
TEST_F(CacheCopiesTest, ACopyPutInPlaceButNotRecordedIsNeitherOfferedNorKept) {
  const std::int32_t a = Save(WriteSource("one\\表.doc", "A's content"));
  const std::int32_t b = Save(WriteSource("two\\表.doc", "B's content"));
  const std::string copy = Fetch(a);
  Overwrite(copy, "B's content");  // B's copy, recorded as A's
  EXPECT_EQ(Check(a, copy), 0);
  EXPECT_EQ(ReadAnsi(Fetch(a)), "A's content");
  Overwrite(copy, "B's content");
  ChangeIndex(cache_, "DELETE FROM CACHED_COPY");  // and not recorded at all
  EXPECT_EQ(ReadAnsi(Fetch(a)), "A's content");
  EXPECT_EQ(ReadAnsi(Fetch(b)), "B's content");
}

TEST_F(CacheCopiesTest, AFileTheStoreDidNotPutThereIsKeptUnlessItIsTheContent) {
  const std::int32_t doc_id = Save(WriteSource("src\\notes.txt", "stored notes"));
  ASSERT_TRUE(rt::ForceDirectories(cache_));
  Overwrite(cache_ + "notes.txt", "somebody's own notes");
  EXPECT_EQ(Check(doc_id, cache_ + "notes.txt"), 0);
  EXPECT_NE(RefusedFetch(doc_id).find("notes.txt"), std::string::npos);
  EXPECT_EQ(ReadAnsi(cache_ + "notes.txt"), "somebody's own notes");

  Overwrite(cache_ + "notes.txt", "stored notes");  // the content itself: taken as the copy
  EXPECT_EQ(Fetch(doc_id), cache_ + "notes.txt");
  Overwrite(cache_ + "notes.txt", "edited notes");
  EXPECT_EQ(Check(doc_id, cache_ + "notes.txt"), 1);
  // Paths that are not the document's copy are never its edits.
  for (const std::string& path : {folder_.Ansi("notes.txt"), cache_ + "other.txt", cache_ + "sub\\notes.txt"}) {
    WriteSource(path.substr(folder_.Ansi().size()), "x");
    EXPECT_EQ(Check(doc_id, path), 0) << path;
  }
  EXPECT_EQ(Check(doc_id + 1, cache_ + "notes.txt"), 0);
}

TEST_F(CacheCopiesTest, EveryStoredNameCanBeFetchedAndStaysInTheCacheFolder) {
  struct Case {
    std::string source_name;    // as the file is named on disk (UTF-8)
    std::string stored_name;    // GBK
    bool windows_name = false;  // one that Windows' own files can have
  };
  // clang-format off
  const Case cases[] = {
      {"a\"b.txt", "a_b.txt"},       {"a|b.txt", "a_b.txt"},   {"a?b.txt", "a_b.txt"},
      {"a<b>.txt", "a_b_.txt"},      {"a*b.txt", "a_b.txt"},   {"tab\tx.txt", "tab_x.txt"},
      {"line\x01.txt", "line_.txt"}, {"c:d.txt", "c_d.txt"},   {"trailing. ", "trailing__"},
      {u8"乗表淺.doc", "乗表淺.doc", true}, {u8"亅報告.txt", "亅報告.txt", true}, {"CON.txt", "_CON.txt"},
      {"NUL .txt", "_NUL .txt"},     {"CONIN$", "_CONIN$"},    {"conout$.log", "_conout$.log"},
  };
  // clang-format on
  int seed = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source_name);
    // Windows' own files cannot have the other names: there the rule meets
    // them in names stored from elsewhere, as a file of another name whose
    // stored name is then set.
    const bool stored_from_elsewhere = kWindows && !c.windows_name;
    const fs::path native = folder_.Native("sources") / std::to_string(++seed) /
                            rt::testing::Utf8Path(stored_from_elsewhere ? "plain.txt" : c.source_name);
    fs::create_directories(native.parent_path());
    const std::string content = Content(1000, static_cast<unsigned>(seed));
    std::ofstream(native, std::ios::binary) << content;
    const std::int32_t doc_id = Save(rt::platform::AnsiPath(native));
    if (stored_from_elsewhere) {
      rt::CurrentDataSession().ExecuteBound("UPDATE DB_FILE_STORAGE SET FILE_NAME = ? WHERE LABDOC_ID = ?",
                                            {c.source_name, std::int64_t{doc_id}});
    } else {
      const rt::RowSet stored =
          rt::CurrentDataSession().QueryBound("SELECT FILE_NAME FROM DB_FILE_STORAGE WHERE LABDOC_ID = ?", {doc_id});
      ASSERT_EQ(stored.rows.size(), 1u);
      EXPECT_EQ(stored.rows[0][0], rt::Value(c.stored_name));
    }
    const std::string path = Fetch(doc_id);
    EXPECT_EQ(path, cache_ + c.stored_name);
    EXPECT_EQ(ReadAnsi(path), content);
  }
  // A name stored before names were made safe gets the same rule when fetched.
  const std::int32_t old = Save(WriteSource("old.txt", "old"));
  rt::CurrentDataSession().ExecuteBound("UPDATE DB_FILE_STORAGE SET FILE_NAME = ? WHERE LABDOC_ID = ?",
                                        {std::string("..\\escape.txt"), std::int64_t{old}});
  EXPECT_EQ(Fetch(old), cache_ + ".._escape.txt");
  EXPECT_FALSE(fs::exists(folder_.Native("escape.txt")));
}

}  // namespace
}  // namespace labdocs::labdoc::testing
