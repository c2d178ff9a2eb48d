// The console at a terminal: a pseudo-terminal types at it as a person
// would, keys and all, and reads what the terminal shows.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
#include <vector>

#include "console/testing/console_run.h"
#include "runtime/data/testing/test_database.h"
#include "runtime/platform/testing/test_support.h"

namespace console {
namespace {

using testing::TempFolder;

// The console started on a pseudo-terminal with the stand-in plug-in.
class TerminalConsole {
 public:
  explicit TerminalConsole(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv = {rt::testing::BuiltProgram("labdocs-console").string()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    pid_ = forkpty(&terminal_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      std::vector<char*> pointers;
      for (std::string& argument : argv) pointers.push_back(argument.data());
      pointers.push_back(nullptr);
      setenv("TERM", "vt100", 1);
      execv(pointers[0], pointers.data());
      _exit(127);
    }
  }
  ~TerminalConsole() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (terminal_ >= 0) close(terminal_);
  }
  TerminalConsole(const TerminalConsole&) = delete;
  TerminalConsole& operator=(const TerminalConsole&) = delete;

  bool Started() const { return pid_ > 0; }

  void Type(const std::string& keys) {
    ASSERT_EQ(write(terminal_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }

  // What the terminal showed from the last wait on, up to and with `text`;
  // empty when the text did not come within 20 seconds.
  std::string WaitFor(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (true) {
      const std::size_t found = shown_.find(text, seen_);
      if (found != std::string::npos) {
        std::string part = shown_.substr(seen_, found + text.size() - seen_);
        seen_ = found + text.size();
        return part;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd wait = {terminal_, POLLIN, 0};
      if (left.count() <= 0 || poll(&wait, 1, static_cast<int>(left.count())) <= 0) return {};
      char buffer[4096];
      const ssize_t count = read(terminal_, buffer, sizeof buffer);
      if (count <= 0) return {};
      shown_.append(buffer, static_cast<std::size_t>(count));
    }
  }

  // The exit code once the console ended; -1 when it did not end normally
  // or within 20 seconds.
  int Wait() {
    int status = 0;
    for (int tries = 0; tries < 200; ++tries) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      usleep(100 * 1000);
    }
    return -1;
  }
  const std::string& Shown() const { return shown_; }

 private:
  int terminal_ = -1;
  pid_t pid_ = -1;
  bool exited_ = false;
  std::string shown_;
  std::size_t seen_ = 0;
};

TEST(LineEditorTest, ThePromptCompletesRecallsAndReportsWithoutLineNumbers) {
  TempFolder folder;
  rt::testing::TestDatabase database(rt::testing::EngineUnderTest(),
                                     rt::testing::PathUtf8(folder.Home() / "labdocs.db"));
  std::vector<std::string> arguments = {"--home", rt::testing::PathUtf8(folder.Home()), "--plugin", "fakeplugin.dll"};
  for (const std::string& option : testing::DatabaseOptions(database)) arguments.push_back(option);
  TerminalConsole console(arguments);
  ASSERT_TRUE(console.Started());
  ASSERT_NE(console.WaitFor("Type help for the commands"), "") << console.Shown();
  ASSERT_NE(console.WaitFor("> "), "") << console.Shown();

  // Tab completes the command word: the tree is shown again.
  console.Type("tre\t\n");
  EXPECT_NE(console.WaitFor(u8"文档管理明细"), "") << console.Shown();
  ASSERT_NE(console.WaitFor("> "), "") << console.Shown();

  // And a node path, a level at a time, in Chinese.
  console.Type(u8"open 文档管理明\t/2019\t\n");
  EXPECT_NE(console.WaitFor(u8"node: 文档管理/文档管理明细/2019年度"), "") << console.Shown();
  ASSERT_NE(console.WaitFor(u8"2019年度> "), "") << console.Shown();

  // Up brings the last line back.
  console.Type("up\n");
  ASSERT_NE(console.WaitFor(u8"文档管理明细> "), "") << console.Shown();
  console.Type("\x1b[A\x1b[A\n");
  EXPECT_NE(console.WaitFor(u8"node: 文档管理/文档管理明细/2019年度"), "") << console.Shown();
  ASSERT_NE(console.WaitFor(u8"2019年度> "), "") << console.Shown();

  // A person's mistake is reported without a line number.
  console.Type("frobnicate\n");
  const std::string error = console.WaitFor("(help lists the commands)");
  EXPECT_NE(error.find("error: unknown command 'frobnicate'"), std::string::npos) << console.Shown();
  EXPECT_EQ(error.find("line "), std::string::npos) << error;
  // (Not Ctrl-D: typed before the editor has the terminal again, the
  // terminal's own line discipline would take it.)
  console.Type("quit\n");
  EXPECT_EQ(console.Wait(), 0) << console.Shown();
}

}  // namespace
}  // namespace console
