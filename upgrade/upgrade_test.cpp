// Upgrades keep everything. Each case is a laboratory that an earlier
// version of the system made with its own console, plug-in and document
// store (testdata/, README.md there: a home folder with its labdocs.db, or a
// dump of a schema on a server), with what that version listed and fetched.
// Today's console opens it and must list every directory as before, fetch
// every document's content whole, keep every revision and honour the copies
// that the old version left in its cache folder.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "console/testing/console_run.h"
#include "labdoc/content_chunks.h"
#include "labdoc/content_storage.h"
#include "labdoc/retention.h"
#include "labdoc/sha256.h"
#include "runtime/data/session.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/data/testing/test_database.h"
#include "runtime/platform/testing/test_support.h"
#include "runtime/text/gbk.h"
#ifdef LABDOCS_TESTS_HAVE_POSTGRES
#include "runtime/data/postgres/testing/test_server.h"
#endif

namespace labdocs::upgrade {
namespace {

namespace fs = std::filesystem;
using console::testing::ConsoleRun;
using console::testing::ReadAll;
using console::testing::RunConsole;
using console::testing::TempFolder;

// An earlier version's data, in testdata/<folder>. A version that left a
// laboratory's data behind which today's code does not keep whole has no
// entry here: README.md beside the data says which and why.
struct Earlier {
  const char* folder;
  rt::Engine engine;
  // What the version could leave behind besides the demo's documents: cache
  // copies that today's store knows as its own (the old store recorded them:
  // SQLite schema 4 on, but not in a cache index of version 1, which named
  // no database; a server's data comes without a workstation's cache
  // folder), kept revisions, a document filed in no directory.
  enum Holds { kNothingMore = 0, kKnownCopies = 1, kRevisions = 2, kFiledNowhere = 4 };
  int holds;
};

void PrintTo(const Earlier& earlier, std::ostream* out) { *out << earlier.folder; }

constexpr Earlier kEarlier[] = {
    {"sqlite-v2", rt::Engine::Sqlite, Earlier::kNothingMore},
    {"sqlite-v3", rt::Engine::Sqlite, Earlier::kRevisions | Earlier::kFiledNowhere},
    {"sqlite-v4", rt::Engine::Sqlite, Earlier::kKnownCopies | Earlier::kRevisions | Earlier::kFiledNowhere},
    {"sqlite-v5", rt::Engine::Sqlite, Earlier::kKnownCopies | Earlier::kRevisions | Earlier::kFiledNowhere},
    {"sqlite-v6", rt::Engine::Sqlite, Earlier::kKnownCopies | Earlier::kRevisions},
    {"sqlite-v7", rt::Engine::Sqlite, Earlier::kKnownCopies | Earlier::kRevisions},
    {"sqlite-v7-index1", rt::Engine::Sqlite, Earlier::kRevisions},
    {"server-v2", rt::Engine::Postgres, Earlier::kRevisions},
    {"server-v3", rt::Engine::Postgres, Earlier::kRevisions},
};

// Where the old versions made their homes; the cache's records name it.
constexpr const char* kOldHome = "/tmp/labdocs-upgrade-home";

// The old console's environment, which the cache's records name too.
const std::vector<std::string> kWorkstation = {"--computer", "UPGRADE-PC", "--user-id", "7", "--user-name", u8"张三"};

std::string Digest(const std::string& bytes) {
  labdoc::Sha256 digest;
  digest.Update(bytes.data(), bytes.size());
  return digest.HexDigest();
}

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// What the old version listed and fetched (expected.txt, listing.txt).
struct Expected {
  struct Saved {
    std::string node;  // "文档管理明细/#1"
    int row = 0;
    std::string digest;
  };
  struct Stored {
    std::string what;  // a document's number (a revision) or file name
    std::string digest;
  };
  ConsoleRun listing;              // the old console's transcript of "open NODE" for every node
  std::vector<std::string> nodes;  // those nodes
  std::vector<Saved> saved;
  std::vector<Stored> revisions;
  std::optional<Stored> filed_nowhere;
  struct Cached {
    std::string file;  // in the cache folder
    std::string node;  // the document's
    int row = 0;
  } cached;

  std::string CachedDigest() const {
    for (const Saved& save : saved)
      if (save.node == cached.node && save.row == cached.row) return save.digest;
    return "(not saved)";
  }
};

Expected ReadExpected(const fs::path& data) {
  Expected expected;
  expected.listing.out = ReadAll(data / "listing.txt");
  for (const std::string& line : expected.listing.Lines())
    if (line.rfind("> open ", 0) == 0) expected.nodes.push_back(line.substr(7));
  std::istringstream in(ReadAll(data / "expected.txt"));
  for (std::string line; std::getline(in, line);) {
    const std::vector<std::string> words = Words(line);
    if (words.empty() || words[0][0] == '#') continue;
    if (words[0] == "save" && words.size() == 4) expected.saved.push_back({words[1], std::stoi(words[2]), words[3]});
    else if (words[0] == "revision" && words.size() == 3) expected.revisions.push_back({words[1], words[2]});
    else if (words[0] == "no-directory" && words.size() == 3)
      expected.filed_nowhere = Expected::Stored{words[1], words[2]};
    else if (words[0] == "cache" && words.size() == 4) expected.cached = {words[1], words[2], std::stoi(words[3])};
    else ADD_FAILURE() << "expected.txt: " << line;
  }
  return expected;
}

// Runs statements on an SQLite file as it is, without the system's
// sessions (which would upgrade it first).
void ExecOnFile(const fs::path& file, const std::string& sql, const std::vector<std::string>& texts) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(rt::testing::PathUtf8(file).c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  sqlite3_stmt* statement = nullptr;
  const int prepared = sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr);
  if (prepared == SQLITE_OK) {
    for (std::size_t i = 0; i < texts.size(); ++i)
      sqlite3_bind_text(statement, static_cast<int>(i + 1), texts[i].c_str(), -1, SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(statement), SQLITE_DONE) << sqlite3_errmsg(db);
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  // A table that the version did not have is no error: nothing to change.
  ASSERT_TRUE(prepared == SQLITE_OK || prepared == SQLITE_ERROR) << sql;
}

// SQLite's full name of a file, as a session names its database.
std::string FullName(const fs::path& file) {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open_v2(rt::testing::PathUtf8(file).c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  const char* full = sqlite3_db_filename(db, "main");
  std::string name = full != nullptr ? full : "";
  sqlite3_close(db);
  return name;
}

// An earlier version's laboratory, laid out afresh for one test.
class UpgradeTest : public ::testing::TestWithParam<Earlier> {
 protected:
  void SetUp() override {
    data_ = fs::path(LABDOCS_UPGRADE_DATA) / GetParam().folder;
    expected_ = ReadExpected(data_);
    if (GetParam().engine == rt::Engine::Sqlite) LayHome();
    else RestoreDump();
  }

  // The saved home in the test's folder. The cache's records name the
  // folder the old version made it in: they are moved with it, as if the
  // home had stayed where it was.
  void LayHome() {
    fs::copy(data_ / "home", folder_.Home(), fs::copy_options::recursive);
    const std::string old_home = kOldHome;
    const std::string new_home = rt::testing::PathUtf8(folder_.Home());
    const fs::path database = folder_.Home() / "labdocs.db";
    // Versions that kept the records in the database: by the cache folder's
    // path, in the system's own form (its separators too).
    ExecOnFile(database,
               "UPDATE DB_FILE_CACHE SET CACHE_DIR = ?2 || replace(substr(CACHE_DIR, length(?1) + 1), '/', ?3) "
               "WHERE substr(CACHE_DIR, 1, length(?1)) = ?1",
               {old_home, new_home, std::string(1, static_cast<char>(fs::path::preferred_separator))});
    // Later ones, in the cache folder's own index: by the database's full
    // name (an index of version 1 named no database).
    const fs::path index = folder_.Home() / "DocCache" / "~labdoc-index.db";
    if (fs::exists(index))
      ExecOnFile(index, "UPDATE CACHED_COPY SET FETCHED_FROM = ?2 WHERE FETCHED_FROM = ?1",
                 {"file:" + old_home + "/labdocs.db", "file:" + FullName(database)});
    setting_ = rt::testing::PathUtf8(database);
  }

  // The dump in a schema of the test's own, restored by the laboratory's
  // owner, who then upgrades it with today's console as an administrator
  // does before the people start theirs (docs/server.md); the test works as
  // a member of the staff.
  void RestoreDump() {
#ifdef LABDOCS_TESTS_HAVE_POSTGRES
    const std::string owner = rt::postgres::testing::ServerConnectionString();
    ASSERT_FALSE(owner.empty()) << "no server: LABDOCS_TEST_POSTGRES names no connection string";
    connection_ = std::make_unique<rt::postgres::Connection>(owner);
    schema_ = std::make_unique<rt::postgres::testing::TestSchema>(*connection_);
    std::string dump = ReadAll(data_ / "dump.sql");
    for (std::size_t at = dump.find("@SCHEMA@"); at != std::string::npos; at = dump.find("@SCHEMA@", at))
      dump.replace(at, 8, schema_->Name());
    connection_->ExecuteText("CREATE EXTENSION IF NOT EXISTS citext SCHEMA public");
    connection_->ExecuteText(dump);
    const std::string search_path = " options='-csearch_path=" + schema_->Name() + ",public'";
    const ConsoleRun upgrade = Run("quit\n", {"--database", owner + search_path});
    ASSERT_EQ(upgrade.exit_code, 0) << upgrade.err;
    setting_ = rt::postgres::testing::AsLogin(owner, rt::testing::StaffLogin(1)) + search_path;
#else
    FAIL() << "the build has no server client";
#endif
  }

  ConsoleRun Run(const std::string& script, std::vector<std::string> arguments = {}) {
    arguments.insert(arguments.end(), kWorkstation.begin(), kWorkstation.end());
    return RunConsole(folder_.Home(), script, arguments, {"LABDOCS_OPEN_COMMAND=true"});
  }
  // As the laboratory's staff on the server; on the home's own file.
  ConsoleRun RunAsStaff(const std::string& script, std::vector<std::string> arguments = {}) {
    if (GetParam().engine == rt::Engine::Postgres) arguments.insert(arguments.end(), {"--database", setting_});
    return Run(script, arguments);
  }

  // A session on the upgraded database (as the staff on a server); the
  // store's storage readies it (the content file attached on SQLite).
  std::unique_ptr<rt::DataSession> Session() { return rt::Connect(setting_, rt::OpenMode::OpenExisting); }

  // The digest of a stored content's bytes as its chunks hold them; the
  // store's reader checks them against the recorded size and digest too.
  static std::string ChunksDigest(rt::DataSession& db, std::int64_t content_id,
                                  const labdoc::ContentSummary& recorded) {
    labdoc::Sha256 digest;
    const std::unique_ptr<labdoc::ContentStorage> storage = labdoc::MakeContentStorage(db);
    rt::Transaction read(db, rt::Transaction::Kind::Deferred);
    storage->BeginContentRead();
    storage->ReadChunks(content_id, recorded, "content " + std::to_string(content_id),
                        [&digest](const std::uint8_t* bytes, std::size_t size) { digest.Update(bytes, size); });
    read.Commit();
    return digest.HexDigest();
  }

  // The one file a "另存为" left in a folder.
  static std::string SavedDigest(const fs::path& folder) {
    std::vector<fs::path> files;
    if (fs::is_directory(folder))
      for (const fs::directory_entry& entry : fs::directory_iterator(folder)) files.push_back(entry.path());
    if (files.size() != 1) return "(" + std::to_string(files.size()) + " files saved)";
    return Digest(ReadAll(files[0]));
  }

  fs::path data_;
  Expected expected_;
  TempFolder folder_;
  std::string setting_;  // today's session's setting of the upgraded database
#ifdef LABDOCS_TESTS_HAVE_POSTGRES
  std::unique_ptr<rt::postgres::Connection> connection_;       // the owner's
  std::unique_ptr<rt::postgres::testing::TestSchema> schema_;  // dropped before the connection
#endif
};

// Every node lists what the old console listed, and every document it
// listed saves with the content the old console saved.
TEST_P(UpgradeTest, ListsEveryDirectoryAndFetchesEveryDocumentWhole) {
  ASSERT_FALSE(expected_.nodes.empty());
  ASSERT_FALSE(expected_.saved.empty());
  // The table says what the data holds.
  EXPECT_EQ(!expected_.revisions.empty(), (GetParam().holds & Earlier::kRevisions) != 0);
  EXPECT_EQ(expected_.filed_nowhere.has_value(), (GetParam().holds & Earlier::kFiledNowhere) != 0);
  std::string script;
  for (const std::string& node : expected_.nodes) script += "open " + node + "\n";
  const fs::path saves = folder_.Path() / "saved";
  for (std::size_t i = 0; i < expected_.saved.size(); ++i) {
    const Expected::Saved& saved = expected_.saved[i];
    fs::create_directories(saves / std::to_string(i));
    script += "open " + saved.node + "\nselect " + std::to_string(saved.row) + "\nrun miSaveAs\nfile " +
              rt::testing::PathUtf8(saves / std::to_string(i) / "copy") + "\n";
  }
  const ConsoleRun run = RunAsStaff(script);
  ASSERT_EQ(run.exit_code, 0) << run.err << run.out;
  for (const std::string& node : expected_.nodes)
    EXPECT_EQ(run.Block("> open " + node), expected_.listing.Block("> open " + node));
  for (std::size_t i = 0; i < expected_.saved.size(); ++i)
    EXPECT_EQ(SavedDigest(saves / std::to_string(i)), expected_.saved[i].digest)
        << expected_.saved[i].node << " row " << expected_.saved[i].row;
}

// Every content a document had is kept, with the bytes the old version
// recorded (no entry point fetches a revision: they are read as the store
// reads contents).
class RevisedUpgradeTest : public UpgradeTest {};

TEST_P(RevisedUpgradeTest, KeepsEveryRevision) {
  ASSERT_FALSE(expected_.revisions.empty());
  const ConsoleRun upgrade = RunAsStaff("quit\n");
  ASSERT_EQ(upgrade.exit_code, 0) << upgrade.err;
  const std::unique_ptr<rt::DataSession> db = Session();
  const rt::RowSet rows = db->QueryBound(
      "SELECT LABDOC_ID, CONTENT_ID, FILE_SIZE, SHA256 FROM DB_FILE_CONTENT WHERE REPLACEDTIME IS NOT NULL "
      "ORDER BY CONTENT_ID",
      {});
  ASSERT_EQ(rows.rows.size(), expected_.revisions.size());
  for (std::size_t i = 0; i < rows.rows.size(); ++i) {
    const std::vector<rt::Value>& row = rows.rows[i];
    EXPECT_EQ(std::to_string(std::get<std::int64_t>(row[0])), expected_.revisions[i].what);
    const labdoc::ContentSummary recorded{static_cast<std::uint64_t>(std::get<std::int64_t>(row[2])),
                                          std::get<std::string>(row[3])};
    EXPECT_EQ(recorded.sha256, expected_.revisions[i].digest);
    EXPECT_EQ(ChunksDigest(*db, std::get<std::int64_t>(row[1]), recorded), expected_.revisions[i].digest);
  }
  // As every earlier version did, and so until the laboratory says otherwise.
  EXPECT_EQ(labdoc::ReadRetention(*db), labdoc::Retention{}) << "every revision is kept";
}

// The copies that the old version fetched into the cache folder: an
// unchanged one is no unstored edit (revising asks nothing about it), and
// an edited one is never lost: where today's store knows whose copy it is,
// revising the document offers the edits for storing and stores them;
// where it does not, opening the document fails and leaves the copy as it is.
class HomeUpgradeTest : public UpgradeTest {};

TEST_P(HomeUpgradeTest, HonoursTheOldCacheCopies) {
  const fs::path cache = folder_.Home() / "DocCache";
  ASSERT_TRUE(fs::exists(cache / rt::testing::Utf8Path(u8"实验室安全手册.txt")));
  const std::string newer = u8"confirm: 发现本地文件较新,可能上次修改未保存至服务器";
  const ConsoleRun unchanged = RunAsStaff(u8"open 文档管理明细/#1\nselect 1\nrun 修改文档\nclick BtnCancel\n",
                                          {"--answer", "yes"});
  ASSERT_EQ(unchanged.exit_code, 0) << unchanged.err << unchanged.out;
  EXPECT_FALSE(unchanged.HasLine(newer)) << unchanged.out;

  ASSERT_FALSE(expected_.cached.file.empty());
  const fs::path copy = cache / rt::testing::Utf8Path(expected_.cached.file);
  const std::string fetched = ReadAll(copy);
  ASSERT_EQ(Digest(fetched), expected_.CachedDigest());
  const std::string edited = fetched + u8"本地的修改\n";
  std::ofstream(copy, std::ios::binary | std::ios::trunc) << edited;
  const std::string open = "open " + expected_.cached.node + "\nselect " + std::to_string(expected_.cached.row) + "\n";
  const fs::path saved = folder_.Path() / "saved";
  fs::create_directories(saved);
  const std::string save = open + "run miSaveAs\nfile " + rt::testing::PathUtf8(saved / "copy") + "\n";
  if (GetParam().holds & Earlier::kKnownCopies) {
    const ConsoleRun revise = RunAsStaff(open + u8"run 修改文档\nclick BtnSave\n" + save, {"--answer", "yes"});
    ASSERT_EQ(revise.exit_code, 0) << revise.err << revise.out;
    EXPECT_TRUE(revise.HasLine(newer)) << revise.out;
    EXPECT_EQ(SavedDigest(saved), Digest(edited));
  } else {
    // The store cannot tell such a copy from a file of the person's own:
    // the fetch refuses to replace it.
    const ConsoleRun reopen = RunAsStaff(open + "run miOpenFile\nexpect failed\n");
    ASSERT_EQ(reopen.exit_code, 0) << reopen.err << reopen.out;
    EXPECT_EQ(ReadAll(copy), edited);
  }
}

// A document that the old version filed in no directory (a menu opened on no
// row added it with an empty directory) keeps its content; no directory's
// list shows it, the administrator's check names it, and filing it into a
// directory lists it there.
class FiledNowhereUpgradeTest : public UpgradeTest {
 protected:
  // labdocs-admin on the upgraded database, as the staff on a server.
  ConsoleRun Admin(const std::vector<std::string>& command) {
    static int counter = 0;
    const std::string stem = "admin" + std::to_string(++counter);
    rt::testing::ProcessOptions options;
    options.standard_output = folder_.Path() / (stem + ".out");
    options.standard_error = folder_.Path() / (stem + ".err");
    std::vector<std::string> arguments = {"--home", rt::testing::PathUtf8(folder_.Home())};
    if (GetParam().engine == rt::Engine::Postgres) arguments.insert(arguments.end(), {"--database", setting_});
    arguments.insert(arguments.end(), command.begin(), command.end());
    ConsoleRun run;
    run.exit_code = rt::testing::RunProcess(rt::testing::BuiltProgram("labdocs-admin"), arguments, options);
    run.out = ReadAll(options.standard_output);
    run.err = ReadAll(options.standard_error);
    return run;
  }
  ConsoleRun ListEveryNode() {
    std::string script;
    for (const std::string& node : expected_.nodes) script += "open " + node + "\n";
    return RunAsStaff(script);
  }
};

TEST_P(FiledNowhereUpgradeTest, KeepsTheDocumentFiledNowhereForTheAdministratorToFile) {
  ASSERT_TRUE(expected_.filed_nowhere);
  const std::string& name = expected_.filed_nowhere->what;
  const ConsoleRun before = ListEveryNode();
  ASSERT_EQ(before.exit_code, 0) << before.err;
  EXPECT_EQ(before.out.find(name), std::string::npos);
  const std::unique_ptr<rt::DataSession> db = Session();
  const rt::RowSet rows = db->QueryBound(
      "SELECT c.CONTENT_ID, c.FILE_SIZE, c.SHA256, d.ID FROM RIS_DOC d JOIN DB_FILE_CONTENT c ON c.LABDOC_ID = "
      "d.LABDOC_ID WHERE COALESCE(d.DocType, '') = '' AND c.REPLACEDTIME IS NULL AND c.FILE_NAME = ?",
      {rt::gbk::FromUtf8(name)});
  ASSERT_EQ(rows.rows.size(), 1u);
  const labdoc::ContentSummary recorded{static_cast<std::uint64_t>(std::get<std::int64_t>(rows.rows[0][1])),
                                        std::get<std::string>(rows.rows[0][2])};
  EXPECT_EQ(ChunksDigest(*db, std::get<std::int64_t>(rows.rows[0][0]), recorded), expected_.filed_nowhere->digest);
  const std::string record = std::to_string(std::get<std::int64_t>(rows.rows[0][3]));
  const std::string directory =
      std::to_string(std::get<std::int64_t>(db->QueryBound("SELECT min(TV_ID) FROM Lab_List", {}).rows.at(0).at(0)));

  const ConsoleRun check = Admin({"check"});
  EXPECT_EQ(check.exit_code, 4) << check.out << check.err;  // faults found
  EXPECT_NE(check.out.find("unlisted document: (none) / " + name + " (record " + record), std::string::npos)
      << check.out;
  const ConsoleRun filed = Admin({"file", record, directory, "--user-name", u8"张三"});
  ASSERT_EQ(filed.exit_code, 0) << filed.out << filed.err;
  EXPECT_EQ(Admin({"check"}).exit_code, 0);
  const ConsoleRun after = ListEveryNode();
  EXPECT_NE(after.out.find(name), std::string::npos) << after.out;
}

// The cases whose engine this build has and that satisfy `wanted`.
template <typename Wanted>
std::vector<Earlier> Cases(Wanted wanted) {
  std::vector<Earlier> cases;
  const std::vector<rt::Engine> engines = rt::testing::BothEngines();
  for (const Earlier& earlier : kEarlier)
    if (std::find(engines.begin(), engines.end(), earlier.engine) != engines.end() && wanted(earlier))
      cases.push_back(earlier);
  return cases;
}

std::string CaseName(const ::testing::TestParamInfo<Earlier>& earlier) {
  std::string name = earlier.param.folder;
  for (char& c : name)
    if (c == '-') c = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Versions, UpgradeTest, ::testing::ValuesIn(Cases([](const Earlier&) { return true; })),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(Versions, RevisedUpgradeTest,
                         ::testing::ValuesIn(Cases([](const Earlier& e) { return e.holds & Earlier::kRevisions; })),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(Versions, HomeUpgradeTest,
                         ::testing::ValuesIn(Cases([](const Earlier& e) { return e.engine == rt::Engine::Sqlite; })),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(Versions, FiledNowhereUpgradeTest,
                         ::testing::ValuesIn(Cases([](const Earlier& e) { return e.holds & Earlier::kFiledNowhere; })),
                         CaseName);

}  // namespace
}  // namespace labdocs::upgrade
