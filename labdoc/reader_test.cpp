// Reading documents needs read rights only: a login that may only read
// starts the store, fetches, opens and saves copies of documents, and is
// still kept from fetching over unstored edits; a fetch writes nothing to
// the shared database and never waits for its writers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "labdoc/testing/store_fixture.h"
#include "runtime/ole/error_info.h"
#include "runtime/services/environment.h"
#include "runtime/sysutils.h"

namespace labdocs::labdoc::testing {
namespace {

namespace fs = std::filesystem;

class ReaderTest : public StoreTest {
 protected:
  // Makes the session one that may only read and starts the store on it
  // afresh: on the server the laboratory's reader login (reader1). SQLite
  // knows no logins: its stand-in is the session's connection refusing
  // every write from now on (the content file stays attached, as the store
  // attached it when it first started).
  void BecomeReader() {
    ASSERT_EQ(store_.FreeLabDoc(), S_OK);
    initialised_ = false;
    if (OnServer()) {
      rt::CloseSession();
      rt::OpenSession(test_database_->SettingAs(rt::testing::kReaderLogin));
    } else {
      rt::CurrentDataSession().ExecuteBound("PRAGMA query_only = ON", {});
    }
    ASSERT_EQ(InitWith(cache_), S_OK);
  }
  HRESULT Check(std::int32_t doc_id, const std::string& path, std::uint8_t& newer) {
    newer = 0xAA;
    return store_.CheckLabDoc(doc_id, path.c_str(), &newer);
  }
  // What the document tables hold, row by row, for comparing before and
  // after.
  static std::string Tables() {
    std::string all;
    for (const char* query :
         {"SELECT LABDOC_ID, FILE_NAME, STOREDTIME, FILE_SIZE, SHA256 FROM DB_FILE_STORAGE ORDER BY LABDOC_ID",
          "SELECT CONTENT_ID, LABDOC_ID, PENDING, REPLACEDTIME, OWNER FROM DB_FILE_CONTENT ORDER BY CONTENT_ID",
          "SELECT HOSTNAME, CACHE_DIR, FILE_NAME, CONTENT_ID FROM DB_FILE_CACHE ORDER BY FILE_NAME",
          "SELECT LABDOC_ID, OWNER FROM DB_FILE_REVISING ORDER BY LABDOC_ID"}) {
      for (const auto& row : rt::CurrentDataSession().QueryBound(query, {}).rows) {
        for (const rt::Value& value : row) all += rt::ValueToText(value) + "|";
        all += "\n";
      }
      all += "--\n";
    }
    return all;
  }
};

TEST_F(ReaderTest, ALoginThatMayOnlyReadFetchesOpensAndCopiesButNeverOverUnstoredEdits) {
  const std::int32_t plan = Save(WriteSource("src\\plan.doc", "the plan"));
  const std::int32_t notes = Save(WriteSource("src\\notes.txt", "the notes"));
  // Housekeeping that would write, were the login allowed to: a pending
  // content that no store owns, two days old.
  rt::CurrentDataSession().ExecuteBound(
      "INSERT INTO DB_FILE_CONTENT(LABDOC_ID, FILE_NAME, STOREDTIME, PENDING) VALUES(0, 'left.doc', ?, 1)",
      {rt::DateTime{rt::Now().days - 2}});
  // A record that an earlier version kept in the database, for a cache
  // folder that has no index yet: the reader carries it over.
  fs::remove_all(rt::platform::NativePath(cache_));
  rt::CurrentDataSession().ExecuteBound(
      "INSERT INTO DB_FILE_CACHE(HOSTNAME, CACHE_DIR, FILE_NAME, LABDOC_ID, CONTENT_ID, FILE_SIZE, SHA256)"
      " SELECT ?, ?, 'notes.txt', LABDOC_ID, CONTENT_ID, FILE_SIZE, SHA256 FROM DB_FILE_CONTENT WHERE LABDOC_ID = ?",
      {rt::Environment().computer_name, cache_, std::int64_t{notes}});
  const std::string before = Tables();
  BecomeReader();
  if (HasFatalFailure()) return;
  EXPECT_EQ(IndexInteger(cache_, "SELECT count(*) FROM CACHED_COPY WHERE FILE_NAME = 'notes.txt'"), 1);

  // Writing really is refused to this session.
  std::int32_t added = 0;
  std::uint8_t ok = 0xAA;
  EXPECT_EQ(store_.SaveLabDoc(WriteSource("new.txt", "new").c_str(), &added, &ok), E_FAIL);
  EXPECT_EQ(ok, 0);
  rt::TakeErrorInfo();

  // Fetch, fetch again (the copy is reused), open, and save a copy as.
  const std::string copy = Fetch(plan);
  EXPECT_EQ(ReadAnsi(copy), "the plan");
  EXPECT_EQ(Fetch(plan), copy);
  ok = 0xAA;
  const HRESULT opened = store_.OpenLabDoc(notes, &ok);
  ASSERT_EQ(opened, S_OK) << Described(opened);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(ReadAnsi(cache_ + "notes.txt"), "the notes");
  const std::string saved_as = folder_.Ansi("saved as.doc");
  ASSERT_TRUE(CopyFileA(Fetch(plan).c_str(), saved_as.c_str(), FALSE));
  EXPECT_EQ(ReadAnsi(saved_as), "the plan");

  // The copy's record serves the reader as it serves anyone.
  std::uint8_t newer = 0xAA;
  ASSERT_EQ(Check(plan, copy, newer), S_OK);
  EXPECT_EQ(newer, 0);
  std::ofstream(rt::platform::NativePath(copy), std::ios::binary | std::ios::trunc) << "my edits";
  ASSERT_EQ(Check(plan, copy, newer), S_OK);
  EXPECT_EQ(newer, 1);
  char notice[kNoticeBufferSize];
  std::uint8_t stored = 0xAA;
  EXPECT_EQ(store_.StoredMeanwhileLabDoc(plan, copy.c_str(), notice, &stored), S_OK);
  EXPECT_EQ(stored, 0);
  std::string path;
  EXPECT_EQ(Get(plan, ok, path), E_FAIL);
  EXPECT_EQ(ok, 0);
  EXPECT_NE(rt::TakeErrorInfo().find("尚未保存到服务器的修改"), std::string::npos);
  EXPECT_EQ(ReadAnsi(copy), "my edits");

  EXPECT_EQ(Tables(), before);
}

// A fetch, a fetch that reuses its copy and the questions about a copy all
// finish while another connection holds the database's write lock (on the
// server the laboratory's writer lock), which no reading waits for; and
// they leave the database as it was.
TEST_F(ReaderTest, FetchingNeverWaitsForTheWriterLock) {
  const std::int32_t doc_id = Save(WriteSource("src\\data.bin", Content(3'000'000, 4)));
  const std::string before = Tables();
  std::unique_ptr<rt::DataSession> writer = rt::Connect(Setting());
  {
    rt::Transaction writing(*writer, rt::Transaction::Kind::Immediate);
    const std::string copy = Fetch(doc_id);
    EXPECT_EQ(DigestOf(ReadAnsi(copy)), DigestOf(Content(3'000'000, 4)));
    EXPECT_EQ(Fetch(doc_id), copy);
    std::uint8_t newer = 0xAA;
    const HRESULT checked = Check(doc_id, copy, newer);
    EXPECT_EQ(checked, S_OK) << Described(checked);
    EXPECT_EQ(newer, 0);
  }
  EXPECT_EQ(Tables(), before);
}

}  // namespace
}  // namespace labdocs::labdoc::testing
