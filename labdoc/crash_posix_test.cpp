// Store processes killed at random points, in the middle of stores, updates
// and fetches: the documents stay whole, and the next start of a store
// leaves nothing of the killed work behind, but the store of a workstation
// that lives. On the server each works as a person of its own: the killed
// process, the next start and the living store log in as three members of
// the laboratory's staff.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <set>
#include <thread>

#include "labdoc/local_file.h"
#include "labdoc/owner_lock.h"
#include "labdoc/pending_content.h"
#include "labdoc/testing/store_fixture.h"
#include "runtime/platform/sleep.h"

extern char** environ;

namespace labdocs::labdoc::testing {
namespace {

namespace fs = std::filesystem;

// Starts a program with its error stream in a file; its process id.
pid_t Start(const std::vector<std::string>& arguments, const fs::path& error_file) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, error_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t child = -1;
  const int error = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return error == 0 ? child : -1;
}

// The files in a folder whose names begin with `prefix`, a cache folder's
// index left out (it stays); none when there is no such folder.
std::vector<fs::path> FilesIn(const fs::path& folder, const std::string& prefix = "") {
  std::vector<fs::path> files;
  std::error_code missing;
  for (const auto& entry : fs::directory_iterator(folder, missing)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) == 0 && !IsIndexFile(name)) files.push_back(entry.path());
  }
  return files;
}

// The database that the helper opens, named for as long as the object lives.
class DatabaseVariable {
 public:
  explicit DatabaseVariable(const std::string& native_path) { ::setenv("LABDOCS_DATABASE", native_path.c_str(), 1); }
  ~DatabaseVariable() { ::unsetenv("LABDOCS_DATABASE"); }
  DatabaseVariable(const DatabaseVariable&) = delete;
  DatabaseVariable& operator=(const DatabaseVariable&) = delete;
};

class CrashTest : public StoreTest {
 protected:
  fs::path Native(const std::string& ansi_path) const { return rt::platform::NativePath(ansi_path); }

  // On the server: until no pending content's owner holds its key.
  void WaitUntilNoPendingOwnerLives() {
    for (int i = 0; i < 200; ++i) {
      bool lives = false;
      for (const auto& row :
           rt::CurrentDataSession().QueryBound("SELECT OWNER FROM DB_FILE_CONTENT WHERE PENDING = 1", {}).rows) {
        const auto* owner = std::get_if<std::string>(&row[0]);
        const std::optional<std::int64_t> key = owner != nullptr ? ServerKeyOf(*owner) : std::nullopt;
        lives = lives || (key && rt::CurrentDataSession().LivenessKeyHeld(*key).value_or(false));
      }
      if (!lives) return;
      rt::platform::SleepFor(std::chrono::milliseconds(25));
    }
    ADD_FAILURE() << "the killed store's connection is still there";
  }
};

TEST_F(CrashTest, StoresKilledAnywhereLeaveTheDocumentsWholeAndNothingAfterTheNextStart) {
  const std::string a = Content(1'200'000, 31), b = Content(2'100'000, 32);
  const std::string file_a = WriteSource("甲.bin", a), file_b = WriteSource("乙.bin", b);
  const std::int32_t doc_id = Save(file_a);
  const std::set<std::string> either{DigestOf(a), DigestOf(b)};
  const fs::path owners = folder_.Native("labdocs.db-labdoc-locks");
  const fs::path errors = folder_.Native("helper.err");
  const DatabaseVariable variable(test_database_->SettingAs(rt::testing::StaffLogin(2)));
  int trials_with_leftovers = 0;
  for (unsigned trial = 1; trial <= 10; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    std::mt19937 random(trial);
    const auto delay = std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 400)(random));
    const fs::path ready = folder_.Native("ready" + std::to_string(trial));
    const pid_t helper = Start({HelperProgram().string(), "churn", Native(cache_).string(), std::to_string(doc_id),
                                Native(file_a).string(), Native(file_b).string(), ready.string()},
                               errors);
    ASSERT_GT(helper, 0);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!fs::exists(ready) && ::waitpid(helper, &status, WNOHANG) == 0 &&
           std::chrono::steady_clock::now() < deadline)
      rt::platform::SleepFor(std::chrono::milliseconds(1));
    rt::platform::SleepFor(delay);
    ::kill(helper, SIGKILL);
    ::waitpid(helper, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the helper ended by itself: " << folder_.Read("helper.err");

    const std::vector<fs::path> copies = FilesIn(Native(cache_), "~labdoc-");
    const std::vector<fs::path> owner_files = FilesIn(owners);
    if (Count("SELECT count(*) FROM DB_FILE_CONTENT WHERE PENDING = 1") > 0 || !copies.empty() || !owner_files.empty())
      ++trials_with_leftovers;
    // The next start comes a while later: what the killed process left is
    // older than any fetch or store that just began.
    const auto a_while_ago = fs::file_time_type::clock::now() - std::chrono::minutes(2);
    for (const fs::path& file : copies) fs::last_write_time(file, a_while_ago);
    for (const fs::path& file : owner_files) fs::last_write_time(file, a_while_ago);
    // On a server the killed process's connection ends a moment after it.
    if (OnServer()) WaitUntilNoPendingOwnerLives();
    // Another workstation is storing A as the churned document's content
    // while the next start sweeps: its store goes on to the end.
    const std::unique_ptr<rt::DataSession> living = rt::Connect(test_database_->SettingAs(rt::testing::StaffLogin(3)),
                                                                rt::OpenMode::OpenExisting);
    const std::unique_ptr<ContentStorage> storage = MakeContentStorage(*living);
    {
      PendingContent store(*storage, doc_id, "甲.bin");
      ASSERT_EQ(StartStoring(cache_), S_OK);
      EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CONTENT WHERE PENDING = 1"), 1) << "the living store";
      InputFile source(file_a);
      store.Write(source);
      rt::Transaction last(*living, rt::Transaction::Kind::Immediate);
      EXPECT_NO_THROW(store.Finish(doc_id, last)) << "the living store was swept";
    }

    EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_CONTENT WHERE PENDING = 1"), 0);
    EXPECT_TRUE(FilesIn(Native(cache_), "~labdoc-").empty());
    EXPECT_TRUE(FilesIn(owners).empty());
    // No chunk is left of a removed content (in SQLite's content file, or
    // listed for removal).
    EXPECT_EQ(
        Count("SELECT count(*) FROM DB_FILE_CHUNK WHERE CONTENT_ID NOT IN (SELECT CONTENT_ID FROM DB_FILE_CONTENT)"),
        0);
    if (!OnServer()) {
      EXPECT_EQ(rt::CurrentDataSession().QueryBound("PRAGMA integrity_check", {}).rows.at(0).at(0),
                rt::Value(std::string("ok")));
      EXPECT_EQ(Count("SELECT count(*) FROM DB_FILE_REMOVED_CONTENT"), 0);
    }
    // The churned document holds one of its two contents; the documents
    // that the helper stored and had not deleted yet hold A.
    for (const auto& row : rt::CurrentDataSession().QueryBound("SELECT LABDOC_ID FROM DB_FILE_STORAGE", {}).rows) {
      const auto id = static_cast<std::int32_t>(std::get<std::int64_t>(row[0]));
      const std::string digest = DigestOf(ReadAnsi(Fetch(id)));
      if (id == doc_id) {
        EXPECT_EQ(either.count(digest), 1u);
      } else {
        EXPECT_EQ(digest, DigestOf(a)) << "document " << id;
      }
    }
  }
  EXPECT_GT(trials_with_leftovers, 0) << "no kill landed inside the helper's work";
}

}  // namespace
}  // namespace labdocs::labdoc::testing
