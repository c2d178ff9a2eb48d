// ShellExecuteA on Windows, the system's own: what the program registered
// for a file's type gets of a GBK name.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

#include "runtime/platform/ansi_test_folder.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/sleep.h"
#include "runtime/platform/testing/test_support.h"

namespace {

using rt::testing::AnsiTestFolder;
namespace fs = std::filesystem;
using namespace std::chrono;

using rt::testing::kCage;
using rt::testing::kShallow;

// The system's ShellExecuteA hands a GBK name, '\' trail bytes included, to
// the program registered for the file's type: the test prefix registers a
// recording opener for .labdocs-test (tools/test-windows.sh).
TEST(PlatformShellTest, TheRegisteredProgramGetsTheGbkNameWhole) {
  AnsiTestFolder folder;
  const fs::path record = folder.Native("opened.txt");
  rt::testing::ScopedEnv variable("LABDOCS_TEST_OPEN_RECORD", rt::testing::PathUtf8(record));
  const std::string name = kShallow + kCage + ".labdocs-test";
  folder.Write(name, "x");
  const std::string ansi = folder.Ansi(name);
  const auto status =
      reinterpret_cast<std::intptr_t>(ShellExecuteA(nullptr, "open", ansi.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  ASSERT_GT(status, 32) << "is the recording opener registered for .labdocs-test?";
  const auto deadline = steady_clock::now() + seconds(30);
  std::string recorded;
  while (recorded.find('\n') == std::string::npos && steady_clock::now() < deadline) {
    rt::platform::SleepFor(milliseconds(20));
    recorded = folder.Read("opened.txt");
  }
  EXPECT_EQ(recorded, rt::platform::PathUtf8(rt::platform::NativePath(ansi)) + "\n");
}

}  // namespace
