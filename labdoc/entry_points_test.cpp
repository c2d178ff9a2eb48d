// The store through its entry points, loaded by name: storing, fetching,
// replacing and deleting documents, the answers "no", the statuses, and the
// life of the library across initialisations and reloads.
#include <gtest/gtest.h>

#include <cstdlib>

#include "labdoc/testing/store_fixture.h"
#include "runtime/data/datetime_text.h"
#include "runtime/ole/error_info.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/testing/test_support.h"
#include "runtime/services/environment.h"

namespace labdocs::labdoc::testing {
namespace {

using rt::Value;

class EntryPointsTest : public StoreTest {};

TEST_F(EntryPointsTest, StoresFetchesReplacesAndDeletesADocument) {
  const std::string first = Content(3 * (1 << 20) + 17, 1);  // more than three chunks
  const std::string source = WriteSource("src\\report.doc", first);
  const std::int32_t doc_id = Save(source);

  const rt::RowSet row = rt::CurrentDataSession().QueryBound(
      "SELECT FILE_NAME, FILE_SIZE, SHA256, STOREDTIME FROM DB_FILE_STORAGE WHERE LABDOC_ID = ?", {doc_id});
  ASSERT_EQ(row.rows.size(), 1u);
  EXPECT_EQ(row.rows[0][0], Value(std::string("report.doc")));
  EXPECT_EQ(row.rows[0][1], Value(static_cast<std::int64_t>(first.size())));
  EXPECT_EQ(row.rows[0][2], Value(DigestOf(first)));
  ASSERT_TRUE(std::holds_alternative<rt::DateTime>(row.rows[0][3]));
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CHUNK"), 4);

  const std::string path = Fetch(doc_id);
  EXPECT_EQ(path, cache_ + "report.doc");
  EXPECT_EQ(ReadAnsi(path), first);

  const std::string second = Content(1000, 2);
  std::uint8_t ok = 0;
  HRESULT status = store_.UpdateLabDoc(doc_id, WriteSource("src\\v2.doc", second).c_str(), &ok);
  ASSERT_EQ(status, S_OK) << Described(status);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(ReadAnsi(Fetch(doc_id)), second);
  // The document keeps its stored name; the cached copy was replaced.
  EXPECT_EQ(Fetch(doc_id), cache_ + "report.doc");

  status = store_.DelLabDoc(doc_id, &ok);
  ASSERT_EQ(status, S_OK) << Described(status);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_STORAGE"), 0);
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CONTENT"), 0);
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CHUNK"), 0);
  std::string fetched;
  status = Get(doc_id, ok, fetched);
  EXPECT_EQ(status, S_OK);
  EXPECT_EQ(ok, 0);
  // The cache copy is the user's working file and stays.
  EXPECT_EQ(ReadAnsi(cache_ + "report.doc"), second);
}

TEST_F(EntryPointsTest, NumbersCountUpAndAreNeverReused) {
  const std::int32_t a = Save(WriteSource("a.txt", "a"));
  const std::int32_t b = Save(WriteSource("b.txt", "b"));
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
  std::uint8_t ok = 0;
  ASSERT_EQ(store_.DelLabDoc(b, &ok), S_OK);
  EXPECT_EQ(Save(WriteSource("c.txt", "c")), 3);
}

TEST_F(EntryPointsTest, EmptyFileIsADocumentToo) {
  const std::int32_t doc_id = Save(WriteSource("empty.txt", ""));
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CHUNK"), 0);
  const std::string path = Fetch(doc_id);
  EXPECT_TRUE(std::filesystem::exists(rt::platform::NativePath(path)));
  EXPECT_EQ(ReadAnsi(path), "");
}

TEST_F(EntryPointsTest, MissingDocumentsAndFilesAnswerNoWithoutFailing) {
  std::uint8_t ok = 0xAA;
  std::int32_t doc_id = 99;
  EXPECT_EQ(store_.SaveLabDoc(folder_.Ansi("no-such-file.doc").c_str(), &doc_id, &ok), S_OK);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(doc_id, 0);
  // A folder is no file either.
  WriteSource("folder\\inside.txt", "x");
  ok = 0xAA;
  EXPECT_EQ(store_.SaveLabDoc(folder_.Ansi("folder").c_str(), &doc_id, &ok), S_OK);
  EXPECT_EQ(ok, 0);

  std::string path;
  ok = 0xAA;
  EXPECT_EQ(Get(-1, ok, path), S_OK);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(path, "");
  ok = 0xAA;
  EXPECT_EQ(store_.DelLabDoc(12345, &ok), S_OK);
  EXPECT_EQ(ok, 0);
  ok = 0xAA;
  EXPECT_EQ(store_.OpenLabDoc(12345, &ok), S_OK);
  EXPECT_EQ(ok, 0);

  const std::int32_t stored = Save(WriteSource("kept.txt", "kept"));
  ok = 0xAA;
  EXPECT_EQ(store_.UpdateLabDoc(12345, WriteSource("new.txt", "new").c_str(), &ok), S_OK);
  EXPECT_EQ(ok, 0);
  ok = 0xAA;
  EXPECT_EQ(store_.UpdateLabDoc(stored, folder_.Ansi("gone.txt").c_str(), &ok), S_OK);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(ReadAnsi(Fetch(stored)), "kept");
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CONTENT"), 1);
}

TEST_F(EntryPointsTest, ARowWithoutStoredContentIsNotADocumentToFetch) {
  rt::CurrentDataSession().Execute(
      "insert into DB_FILE_STORAGE(LABDOC_ID,FILE_NAME,STOREDTIME) values(50,'a.doc',GetDate())");
  std::uint8_t ok = 0xAA;
  std::string path;
  EXPECT_EQ(Get(50, ok, path), S_OK);
  EXPECT_EQ(ok, 0);
  // Storing into it gives it content.
  EXPECT_EQ(store_.UpdateLabDoc(50, WriteSource("a.doc", "now stored").c_str(), &ok), S_OK);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(ReadAnsi(Fetch(50)), "now stored");
}

TEST_F(EntryPointsTest, NullPointersAnswerANegativeStatusWithAReason) {
  const std::string source = WriteSource("a.txt", "a");
  const std::int32_t doc_id = Save(source);
  std::uint8_t ok = 0xAA;
  std::int32_t number = 0, reserved = 0;
  char buffer[kFilePathBufferSize] = {};
  char* target = buffer;
  char* null_target = nullptr;

  EXPECT_EQ(store_.GetLabDoc(doc_id, nullptr, &ok), E_POINTER);
  EXPECT_NE(rt::TakeErrorInfo().find("path"), std::string::npos);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(store_.GetLabDoc(doc_id, &null_target, &ok), E_POINTER);
  EXPECT_EQ(store_.GetLabDoc(doc_id, &target, nullptr), E_POINTER);
  EXPECT_EQ(store_.SaveLabDoc(nullptr, &number, &ok), E_POINTER);
  EXPECT_EQ(store_.SaveLabDoc(source.c_str(), nullptr, &ok), E_POINTER);
  EXPECT_EQ(store_.SaveLabDoc(source.c_str(), &number, nullptr), E_POINTER);
  EXPECT_EQ(store_.UpdateLabDoc(doc_id, nullptr, &ok), E_POINTER);
  EXPECT_EQ(store_.UpdateLabDoc(doc_id, source.c_str(), nullptr), E_POINTER);
  EXPECT_EQ(store_.DelLabDoc(doc_id, nullptr), E_POINTER);
  EXPECT_EQ(store_.OpenLabDoc(doc_id, nullptr), E_POINTER);
  EXPECT_EQ(store_.InitLabDoc(nullptr, &reserved), E_POINTER);
  EXPECT_EQ(store_.InitLabDoc(cache_.c_str(), nullptr), E_POINTER);
  EXPECT_FALSE(rt::TakeErrorInfo().empty());
  // Nothing was stored or deleted by those calls.
  EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_STORAGE"), 1);
  // A failed InitLabDoc leaves the store uninitialised.
  EXPECT_EQ(store_.GetLabDoc(doc_id, &target, &ok), E_UNEXPECTED);
  EXPECT_NE(rt::TakeErrorInfo().find("InitLabDoc"), std::string::npos);
  ASSERT_EQ(InitWith(cache_), S_OK);
  EXPECT_EQ(ReadAnsi(Fetch(doc_id)), "a");
}

TEST_F(EntryPointsTest, CallsBeforeInitialisingOrAfterFreeingFail) {
  ASSERT_EQ(store_.FreeLabDoc(), S_OK);
  initialised_ = false;
  std::uint8_t ok = 0xAA;
  EXPECT_EQ(store_.DelLabDoc(1, &ok), E_UNEXPECTED);
  EXPECT_EQ(ok, 0);
  EXPECT_FALSE(rt::TakeErrorInfo().empty());
  EXPECT_EQ(store_.FreeLabDoc(), S_OK);  // freeing twice is harmless
}

TEST_F(EntryPointsTest, InitialisingCreatesTheCacheFolderAndMayBeRepeated) {
  const std::int32_t doc_id = Save(WriteSource("a.txt", "a"));
  const std::string other = folder_.Ansi("另一个\\缓存\\");
  ASSERT_EQ(InitWith(other), S_OK);
  EXPECT_TRUE(std::filesystem::is_directory(rt::platform::NativePath(other)));
  EXPECT_EQ(Fetch(doc_id), other + "a.txt");
}

TEST_F(EntryPointsTest, ALibraryLoadedAgainFindsTheSameDocuments) {
  const std::int32_t doc_id = Save(WriteSource("a.txt", "first life"));
  ASSERT_EQ(store_.FreeLabDoc(), S_OK);
  initialised_ = false;
  // Each exported call of the plug-in loads, initialises, finalises and
  // unloads the library; a second copy loaded meanwhile is independent.
  for (int round = 0; round < 3; ++round) {
    LoadedStore again;
    ASSERT_TRUE(again.Loaded());
    std::int32_t reserved = 0;
    ASSERT_EQ(again.InitLabDoc(cache_.c_str(), &reserved), S_OK);
    char buffer[kFilePathBufferSize] = {};
    char* target = buffer;
    std::uint8_t ok = 0;
    ASSERT_EQ(again.GetLabDoc(doc_id, &target, &ok), S_OK);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(ReadAnsi(buffer), "first life");
    ASSERT_EQ(again.FreeLabDoc(), S_OK);
  }
}

// Without a session the store opens the host's database file itself.
class StandaloneTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    ASSERT_EQ(store_.FreeLabDoc(), S_OK);
    initialised_ = false;
    rt::CloseSession();
    saved_environment_ = rt::Environment();
  }
  void TearDown() override {
    rt::testing::SetEnv("LABDOCS_DATABASE", std::nullopt);
    rt::SetEnvironment(saved_environment_);
    StoreTest::TearDown();
  }
  rt::HostEnvironment saved_environment_;
};

TEST_F(StandaloneTest, FindsTheDatabaseNamedByTheEnvironmentVariable) {
  rt::testing::SetEnv("LABDOCS_DATABASE", Setting());
  ASSERT_EQ(InitWith(cache_), S_OK);
  const std::int32_t doc_id = Save(WriteSource("a.txt", "standalone"));
  EXPECT_EQ(ReadAnsi(Fetch(doc_id)), "standalone");
  const std::unique_ptr<rt::DataSession> check = rt::Connect(Setting(), rt::OpenMode::OpenExisting);
  EXPECT_EQ(check->QueryBound("SELECT count(*) FROM DB_FILE_STORAGE", {}).rows[0][0], Value(std::int64_t{1}));
}

TEST_F(StandaloneTest, ADatabaseFileTheVariableNamesMayBeInAChineseFolder) {
  if (OnServer()) GTEST_SKIP() << "a server is named by its setting";
  // 淺 ends in 0x5C, 亅 in 0x7C. On Windows the variable's ANSI form is GBK,
  // which SQLite would take for UTF-8 and not find.
  const std::filesystem::path file = folder_.Native("淺亅表") / "labdocs.db";
  std::filesystem::create_directory(file.parent_path());
  { rt::sqlite::Database made(rt::platform::PathUtf8(file)); }
  rt::testing::SetEnv("LABDOCS_DATABASE", rt::platform::PathUtf8(file));
  ASSERT_EQ(InitWith(cache_), S_OK);
  const std::int32_t doc_id = Save(WriteSource("d.txt", "in a Chinese folder"));
  EXPECT_EQ(ReadAnsi(Fetch(doc_id)), "in a Chinese folder");
  rt::sqlite::Database check(rt::platform::PathUtf8(file), rt::sqlite::Database::OpenMode::OpenExisting);
  EXPECT_EQ(check.QueryBound("SELECT count(*) FROM DB_FILE_STORAGE WHERE LABDOC_ID = ?", {doc_id}).rows[0][0],
            Value(std::int64_t{1}));
}

TEST_F(StandaloneTest, ElseFindsLabdocsDbInTheHostsBaseFolder) {
  if (OnServer()) GTEST_SKIP() << "the host's base folder holds the embedded database only";
  rt::HostEnvironment environment = saved_environment_;
  environment.base_dir = folder_.Ansi();
  rt::SetEnvironment(environment);
  ASSERT_EQ(InitWith(cache_), S_OK);
  const std::int32_t doc_id = Save(WriteSource("b.txt", "in the base folder"));
  rt::sqlite::Database check(folder_.Native("labdocs.db").string(), rt::sqlite::Database::OpenMode::OpenExisting);
  EXPECT_EQ(check.QueryBound("SELECT FILE_NAME FROM DB_FILE_STORAGE WHERE LABDOC_ID = ?", {doc_id}).rows.size(), 1u);
}

TEST_F(StandaloneTest, AMissingDatabaseFailsEachOperationAndIsNeverCreated) {
  rt::HostEnvironment environment = saved_environment_;
  environment.base_dir = folder_.Ansi("没有数据库\\");
  rt::SetEnvironment(environment);
  // Initialising still works: a caller that never touches documents is not
  // troubled by a database it does not need.
  ASSERT_EQ(InitWith(cache_), S_OK);
  std::uint8_t ok = 0xAA;
  EXPECT_EQ(store_.DelLabDoc(1, &ok), E_FAIL);
  EXPECT_EQ(ok, 0);
  EXPECT_NE(rt::TakeErrorInfo().find("labdocs.db"), std::string::npos);
  std::string path;
  EXPECT_EQ(Get(1, ok, path), E_FAIL);
  EXPECT_FALSE(std::filesystem::exists(folder_.Native("没有数据库")));
  // Once the database is there, the same store reaches it.
  std::filesystem::create_directory(folder_.Native("没有数据库"));
  { rt::sqlite::Database made((folder_.Native("没有数据库") / "labdocs.db").string()); }
  EXPECT_EQ(ReadAnsi(Fetch(Save(WriteSource("a.txt", "found later")))), "found later");
}

TEST_F(StandaloneTest, ASessionOpenedLaterIsPreferred) {
  rt::testing::SetEnv("LABDOCS_DATABASE", Setting());
  ASSERT_EQ(InitWith(cache_), S_OK);
  const std::string other = folder_.Native("other.db").string();
  rt::OpenSession(other);
  const std::int32_t doc_id = Save(WriteSource("c.txt", "into the session's database"));
  EXPECT_EQ(rt::CurrentDataSession().QueryBound("SELECT count(*) FROM DB_FILE_STORAGE", {}).rows[0][0],
            Value(std::int64_t{1}));
  const std::unique_ptr<rt::DataSession> first = rt::Connect(Setting(), rt::OpenMode::OpenExisting);
  EXPECT_EQ(first->QueryBound("SELECT count(*) FROM DB_FILE_STORAGE WHERE LABDOC_ID = ?", {doc_id}).rows[0][0],
            Value(std::int64_t{0}));
}

}  // namespace
}  // namespace labdocs::labdoc::testing
