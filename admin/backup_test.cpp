// Backups and restores of a console's home: a backup taken while two
// consoles add documents is one snapshot that passes the check and holds
// every document added before it began, and the folders that must not be
// written are refused.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <thread>

#include "admin/exit_codes.h"
#include "admin/testing/demo_home.h"
#include "labdoc/content_chunks.h"
#include "runtime/data/sqlite/database.h"

namespace admin::testing {
namespace {

namespace fs = std::filesystem;

class BackupTest : public DemoHomeTest {
 protected:
  // The current contents' digests, as the database records them, of the
  // documents whose adding is done: the plug-in writes their records last.
  static std::map<std::int64_t, std::string> Digests(rt::DataSession& db) {
    std::map<std::int64_t, std::string> digests;
    for (const auto& row : db.QueryBound("SELECT LABDOC_ID, SHA256 FROM DB_FILE_CONTENT c WHERE PENDING = 0 AND "
                                         "REPLACEDTIME IS NULL AND EXISTS(SELECT 1 FROM RIS_DOC r WHERE "
                                         "r.LABDOC_ID = c.LABDOC_ID)",
                                         {})
                               .rows)
      digests[std::get<std::int64_t>(row[0])] = std::get<std::string>(row[1]);
    return digests;
  }
  // Digests once at least `documents` are added (or a minute passed).
  std::map<std::int64_t, std::string> DigestsOnceAdded(std::size_t documents) {
    std::map<std::int64_t, std::string> digests = Digests(Db());
    for (auto waited = std::chrono::steady_clock::now();
         digests.size() < documents && std::chrono::steady_clock::now() - waited < std::chrono::seconds(60);
         digests = Digests(Db()))
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return digests;
  }
  // A writer's files: a chunk and a half, or a small part of one, different
  // in every file.
  std::vector<fs::path> Files(int writer, int count) const {
    std::vector<fs::path> files;
    for (int i = 0; i < count; ++i) {
      files.push_back(Beside(u8"新增 " + std::to_string(writer) + "-" + std::to_string(i) + ".txt"));
      std::string bytes(i % 4 == 0 ? labdocs::labdoc::kChunkSize * 3 / 2 : 20000 + i, '\0');
      for (std::size_t b = 0; b < bytes.size(); ++b) bytes[b] = static_cast<char>((b * 31 + writer * 7 + i) >> 2);
      std::ofstream(files.back(), std::ios::binary) << bytes;
    }
    return files;
  }
  // Every document of `before` in `copy` with its digest.
  static void ExpectHolds(rt::DataSession& copy, const std::map<std::int64_t, std::string>& before) {
    const std::map<std::int64_t, std::string> digests = Digests(copy);
    for (const auto& [labdoc_id, digest] : before) {
      SCOPED_TRACE("document " + std::to_string(labdoc_id));
      ASSERT_EQ(digests.count(labdoc_id), 1u);
      EXPECT_EQ(digests.at(labdoc_id), digest);
    }
  }
  // A check of a copy finds nothing wrong but documents whose record was
  // being added when the copy was taken, none of them added before it began.
  static void ExpectOnlyAddsUnderway(const AdminRun& check, const std::map<std::int64_t, std::string>& before) {
    EXPECT_NE(check.LineStarting(u8"Documents: "), "") << check.out << check.err;
    std::stringstream lines(check.out);
    std::string line;
    std::getline(lines, line);  // the database
    while (std::getline(lines, line)) {
      if (line.rfind("Documents: ", 0) == 0 || line.rfind("Revisions kept: ", 0) == 0 ||
          line.rfind("All is well", 0) == 0 || line.ends_with(" found."))
        continue;
      ASSERT_EQ(line.rfind(u8"document without record: ", 0), 0u) << line;
      const std::size_t number = line.find("(document ") + 10;
      EXPECT_EQ(before.count(std::stoll(line.substr(number))), 0u) << line;
    }
  }
  fs::path Beside(const std::string& name) const { return folder_->Path() / rt::testing::Utf8Path(name); }
  static std::string Utf8(const fs::path& path) { return rt::testing::PathUtf8(path); }
};

// A home's copy lies in SQLite homes only.
INSTANTIATE_TEST_SUITE_P(Engines, BackupTest, ::testing::Values(rt::Engine::Sqlite), EngineName);

// The server where the build has its client.
std::vector<rt::Engine> ServerOnly() {
  std::vector<rt::Engine> engines = rt::testing::BothEngines();
  std::erase(engines, rt::Engine::Sqlite);
  return engines;
}

// A console's script that adds the files, one document each, to 论文管理明细/2020年论文.
std::string AddingScript(const std::vector<fs::path>& files) {
  std::string script;
  for (const fs::path& file : files)
    script += u8"open 论文管理明细\nselect 2\nrun miNew\nclick btnOpenFile\nfile " + rt::testing::PathUtf8(file) +
              "\nclick btnSave\nexpect status 0\n";
  return script;
}

TEST_P(BackupTest, CopiesOneSnapshotWhileTwoConsolesAddDocuments) {
  constexpr int kWriters = 2, kDocuments = 24, kBackups = 4;
  std::vector<std::string> scripts;
  for (int writer = 0; writer < kWriters; ++writer) scripts.push_back(AddingScript(Files(writer, kDocuments)));
  std::vector<console::testing::ConsoleRun> runs(kWriters);
  std::vector<std::thread> writers;
  for (int writer = 0; writer < kWriters; ++writer)
    writers.emplace_back([&, writer] { runs[writer] = Console(scripts[writer]); });

  // The backup begins once some documents are added; those are in it.
  const std::size_t demo = Digests(Db()).size();
  const std::map<std::int64_t, std::string> before = DigestsOnceAdded(demo + 3);
  // Backups one after another while the consoles add, each of which must
  // be one snapshot; the first is restored.
  // (The first is the one that must overlap the consoles' adding: on a slow
  // system, Wine's, the later ones may end after the consoles.)
  std::vector<AdminRun> backups;
  std::size_t after_backup = 0;
  for (int i = 0; i < kBackups; ++i) {
    backups.push_back(Admin({"backup", Utf8(Beside(u8"备份 backup " + std::to_string(i)))}));
    if (i == 0) after_backup = Digests(Db()).size();
  }
  for (std::thread& writer : writers) writer.join();
  for (const console::testing::ConsoleRun& run : runs) ASSERT_EQ(run.exit_code, 0) << run.err;
  for (const AdminRun& backed_up : backups) {
    ASSERT_EQ(backed_up.exit_code, kExitOk) << backed_up.out << backed_up.err;
    EXPECT_NE(backed_up.LineStarting(u8"Backed up into "), "") << backed_up.out;
  }
  // The consoles went on adding while the backups were taken.
  EXPECT_GT(before.size(), demo);
  EXPECT_LT(after_backup, demo + kWriters * kDocuments) << "the consoles ended before the first backup";
  const fs::path backup = Beside(u8"备份 backup 0");
  // The copy is whole in its two files.
  EXPECT_EQ(std::distance(fs::directory_iterator(backup), fs::directory_iterator()), 2);

  const fs::path restored = Beside(u8"恢复 restored");
  const AdminRun restore = Admin({"--home", Utf8(restored), "restore", Utf8(backup)});
  ASSERT_EQ(restore.exit_code, kExitOk) << restore.out << restore.err;
  // Every content read whole, each with its recorded digest. A document
  // whose record was being added when the backup was taken is the only
  // fault a copy may have, and none of those was added before it began.
  ExpectOnlyAddsUnderway(Admin({"--home", Utf8(restored), "check"}), before);
  {
    rt::sqlite::Database copy(Utf8(restored / "labdocs.db"), rt::OpenMode::OpenExisting);
    copy.AttachContentFile();
    ExpectHolds(copy, before);
  }
  // The console works on the restored home.
  const console::testing::ConsoleRun console =
      console::testing::RunConsole(restored, u8"open 文档管理明细/2019年度\nexpect rows 2\n");
  EXPECT_EQ(console.exit_code, 0) << console.out << console.err;
}

struct Refusal {
  const char* name;
  std::function<std::vector<std::string>()> arguments;  // made ready for the run
  int exit_code;
  std::string message;  // a part of standard error (UTF-8)
};

TEST_P(BackupTest, RefusesWhatWouldLoseOrTakeTheWrongFiles) {
  const fs::path backup = Beside("backup");
  const AdminRun made = Admin({"backup", Utf8(backup)});
  ASSERT_EQ(made.exit_code, kExitOk) << made.err;
  const std::uintmax_t home_size = fs::file_size(folder_->Home() / "labdocs.db");
  // A backup's database without its content file beside it.
  const auto alone = [&] {
    const fs::path lone = Beside("lone");
    fs::create_directories(lone);
    fs::copy_file(backup / "labdocs.db", lone / "labdocs.db");
    return lone;
  };
  // clang-format off
  const Refusal refusals[] = {
      {"a backup into a folder that is not empty",
       [&] {
         const fs::path used = Beside("used");
         fs::create_directories(used);
         std::ofstream(used / "notes.txt") << "mine";
         return std::vector<std::string>{"backup", Utf8(used)};
       },
       kExitRefused, "exists and is not empty"},
      {"a restore over a home that has a database",
       [&] { return std::vector<std::string>{"restore", Utf8(backup)}; }, kExitRefused,
       "holds a database already"},
      {"a backup of a home whose content file is missing",
       [&] { return std::vector<std::string>{"--home", Utf8(alone()), "backup", Utf8(Beside("never"))}; },
       kExitDatabase, "is missing, but the database records stored contents"},
      {"a restore of a backup whose content file is missing",
       [&] { return std::vector<std::string>{"--home", Utf8(Beside("new home")), "restore", Utf8(alone())}; },
       kExitDatabase, "is missing, but the database records stored contents"},
  };
  // clang-format on
  for (const Refusal& refusal : refusals) {
    SCOPED_TRACE(refusal.name);
    fs::remove_all(Beside("lone"));
    const AdminRun run = Admin(refusal.arguments());
    EXPECT_EQ(run.exit_code, refusal.exit_code) << run.out << run.err;
    EXPECT_NE(run.err.find(refusal.message), std::string::npos) << run.err;
    EXPECT_EQ(run.LineStarting("Backed up"), "");
    EXPECT_EQ(run.LineStarting("Restored"), "");
  }
  // Nothing was made or written where it was refused.
  EXPECT_FALSE(fs::exists(Beside("never")));
  EXPECT_FALSE(fs::exists(Beside("new home") / "labdocs.db"));
  EXPECT_EQ(std::distance(fs::directory_iterator(Beside("used")), fs::directory_iterator()), 1);
  EXPECT_EQ(fs::file_size(folder_->Home() / "labdocs.db"), home_size);
}

// A server's backup is one snapshot, taken while eight workstations, each
// its own staff login, add documents; restored into a server's empty
// database it holds every document added before the backup began.
class ServerBackupTest : public BackupTest {};

INSTANTIATE_TEST_SUITE_P(Engines, ServerBackupTest, ::testing::ValuesIn(ServerOnly()), EngineName);

TEST_P(ServerBackupTest, CopiesOneSnapshotWhileEightWorkstationsAddDocuments) {
  constexpr int kWriters = rt::testing::kStaffLogins, kDocuments = 10;
  std::vector<console::testing::ConsoleRun> runs(kWriters);
  std::vector<std::thread> writers;
  for (int writer = 0; writer < kWriters; ++writer) {
    const fs::path workstation = Beside("workstation " + std::to_string(writer + 1));
    fs::create_directories(workstation);
    writers.emplace_back([&, writer, workstation, script = AddingScript(Files(writer, kDocuments))] {
      runs[writer] = console::testing::RunConsole(workstation, script,
                                                  {"--database",
                                                   server_->SettingAs(rt::testing::StaffLogin(writer + 1)),
                                                   "--computer", "LAB-PC" + std::to_string(writer + 1)});
    });
  }
  const std::size_t demo = Digests(Db()).size();
  const std::map<std::int64_t, std::string> before = DigestsOnceAdded(demo + kWriters);
  const fs::path backup = Beside(u8"备份 backup");
  const AdminRun backed_up = Admin({"backup", Utf8(backup)});
  const std::size_t after_backup = Digests(Db()).size();
  for (std::thread& writer : writers) writer.join();
  for (const console::testing::ConsoleRun& run : runs) ASSERT_EQ(run.exit_code, 0) << run.err;
  ASSERT_EQ(backed_up.exit_code, kExitOk) << backed_up.out << backed_up.err;
  // The snapshot is taken as the backup begins: the workstations were still
  // adding then (under Wine they may end before the backup's check does).
  EXPECT_GT(before.size(), demo);
  EXPECT_LT(before.size(), demo + kWriters * kDocuments) << "the workstations ended before the backup began";
  std::cout << "[ figures  ] documents added before the backup began: " << before.size() - demo
            << "; by its end: " << after_backup - demo << " of " << kWriters * kDocuments << std::endl;

  const rt::testing::TestDatabase empty(rt::Engine::Postgres, std::string());
  const AdminRun restored = Admin({"--database", empty.Setting(), "restore", Utf8(backup)});
  ASSERT_EQ(restored.exit_code, kExitOk) << restored.out << restored.err;
  ExpectOnlyAddsUnderway(Admin({"--database", empty.Setting(), "check"}), before);
  const std::unique_ptr<rt::DataSession> copy = rt::Connect(empty.Setting(), rt::OpenMode::OpenExisting);
  ExpectHolds(*copy, before);
  // A workstation works on the restored database.
  const console::testing::ConsoleRun console = console::testing::RunConsole(
      Beside("after"), u8"open 文档管理明细/2019年度\nexpect rows 2\n", {"--database", empty.Setting()});
  EXPECT_EQ(console.exit_code, 0) << console.out << console.err;
}

}  // namespace
}  // namespace admin::testing
