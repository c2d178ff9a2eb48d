// ShellExecuteA on POSIX systems: the program that opens files
// (LABDOCS_OPEN_COMMAND, else xdg-open) gets the file's native name, started
// without being waited for.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "runtime/platform/ansi_test_folder.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/sleep.h"

namespace {

using rt::testing::AnsiTestFolder;
namespace fs = std::filesystem;
using namespace std::chrono;

using rt::testing::kCage;
using rt::testing::kShallow;

// Sets an environment variable for the life of the object.
class EnvVar {
 public:
  EnvVar(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) ::setenv(name, value->c_str(), 1);
    else ::unsetenv(name);
  }
  ~EnvVar() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

std::intptr_t Code(HINSTANCE result) { return reinterpret_cast<std::intptr_t>(result); }

// Waits up to five seconds for a file to appear and gives its content.
std::optional<std::string> WaitForFile(const AnsiTestFolder& folder, const std::string& name) {
  for (int i = 0; i < 100; ++i) {
    if (fs::exists(folder.Native(name))) return folder.Read(name);
    rt::platform::SleepFor(milliseconds(50));
  }
  return std::nullopt;
}

// An opener script that records its arguments, one a line.
fs::path WriteOpener(const AnsiTestFolder& folder, const std::string& script_name, const std::string& record,
                     const std::string& before = "") {
  std::string record_native = folder.Native(record).string();
  fs::path script = folder.Write(script_name, "#!/bin/sh\n" + before + "printf '%s\\n' \"$@\" > '" + record_native +
                                                  ".tmp'\nmv '" + record_native + ".tmp' '" + record_native + "'\n");
  fs::permissions(script, fs::perms::owner_all);
  return script;
}

TEST(PlatformShellTest, OpensWithTheAssociatedProgram) {
  AnsiTestFolder folder;
  fs::path opener = WriteOpener(folder, "opener.sh", "record.txt");
  EnvVar command("LABDOCS_OPEN_COMMAND", opener.string());
  std::string document = folder.Ansi(kShallow + "报告.doc");
  folder.Write(kShallow + "报告.doc", "x");

  HINSTANCE result = ShellExecuteA(nullptr, "open", document.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
  EXPECT_GT(Code(result), 32);
  std::optional<std::string> record = WaitForFile(folder, "record.txt");
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(*record, folder.Native(kShallow + "报告.doc").string() + "\n");

  std::string missing = folder.Ansi("没有.doc");
  EXPECT_LE(Code(ShellExecuteA(nullptr, "open", missing.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED)), 32);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_LE(Code(ShellExecuteA(nullptr, "print", document.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED)), 32);
}

TEST(PlatformShellTest, DoesNotWaitForTheProgram) {
  AnsiTestFolder folder;
  fs::path opener = WriteOpener(folder, "slow.sh", "late.txt", "sleep 2\n");
  EnvVar command("LABDOCS_OPEN_COMMAND", opener.string());
  std::string document = folder.Ansi(kCage + ".txt");
  folder.Write(kCage + ".txt", "x");

  auto start = steady_clock::now();
  EXPECT_GT(Code(ShellExecuteA(nullptr, "open", document.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED)), 32);
  EXPECT_LT(steady_clock::now() - start, milliseconds(1500));
  EXPECT_FALSE(fs::exists(folder.Native("late.txt")));
  EXPECT_TRUE(WaitForFile(folder, "late.txt").has_value());
}

TEST(PlatformShellTest, NoAssociatedProgram) {
  AnsiTestFolder folder;
  std::string document = folder.Ansi(kShallow + ".doc");
  folder.Write(kShallow + ".doc", "x");
  {
    EnvVar command("LABDOCS_OPEN_COMMAND", folder.Native("no-such-opener").string());
    EXPECT_EQ(Code(ShellExecuteA(nullptr, "open", document.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED)),
              SE_ERR_NOASSOC);
  }
  {
    // Neither a configured program nor xdg-open on the search path.
    EnvVar command("LABDOCS_OPEN_COMMAND", std::nullopt);
    EnvVar path("PATH", folder.Native().string());
    EXPECT_LE(Code(ShellExecuteA(nullptr, nullptr, document.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED)), 32);
  }
}

}  // namespace
