// The parts of the test support that are the same on every system.
#include "runtime/platform/testing/test_support.h"

#include <chrono>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "runtime/platform/platform.h"
#include "runtime/platform/sleep.h"

namespace rt::testing {

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)), old_(GetEnv(name_)) {
  SetEnv(name_, value);
}

ScopedEnv::~ScopedEnv() { SetEnv(name_, old_); }

std::filesystem::path Utf8Path(std::string_view utf8) { return platform::Utf8Path(utf8); }

std::string PathUtf8(const std::filesystem::path& path) { return platform::PathUtf8(path); }

std::filesystem::path BinaryFolder() {
  if (std::optional<std::string> bin = GetEnv("LABDOCS_TEST_BIN"); bin && !bin->empty()) return Utf8Path(*bin);
  return ProgramPath().parent_path();
}

std::vector<std::string> RecordingOpener::Opened(std::size_t count) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  for (;;) {
    std::vector<std::string> lines;
    std::ifstream in(record_, std::ios::binary);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    if (lines.size() >= count || std::chrono::steady_clock::now() > deadline) return lines;
    rt::platform::SleepFor(std::chrono::milliseconds(5));
  }
}

bool RerunFrom(const std::filesystem::path& at, const std::function<void(const ProgramFolder&)>& prepare) {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string name = std::string(test->test_suite_name()) + "." + test->name();
  if (GetEnv("LABDOCS_TEST_RERUN") == name) return false;
  const ProgramFolder folder(at);
  if (prepare) prepare(folder);
  ProcessOptions options;
  options.environment = folder.Environment();
  options.environment.push_back("LABDOCS_TEST_RERUN=" + name);
  options.environment.push_back("LABDOCS_TEST_BIN=" + PathUtf8(BinaryFolder()));
  // Beside the program's folder, in the test's own: the test runs on both
  // engines at once, and in other build trees, under the same name.
  const std::filesystem::path output = at.parent_path() / (at.filename().string() + "-rerun.txt");
  options.standard_output = output;
  options.standard_error = output;
  const int exit_code = RunProcess(folder.Program(ProgramPath().stem().string()), {"--gtest_filter=" + name}, options);
  std::ifstream in(output, std::ios::binary);
  const std::string transcript((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  std::filesystem::remove(output);
  EXPECT_EQ(exit_code, 0) << transcript;
  EXPECT_NE(transcript.find("[  PASSED  ] 1 test"), std::string::npos) << transcript;
  return true;
}

void RemoveAll(const std::filesystem::path& folder) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    std::error_code error;
    std::filesystem::remove_all(folder, error);
    if (!error) return;
    if (std::chrono::steady_clock::now() > deadline)
      throw std::filesystem::filesystem_error("cannot remove", folder, error);
    rt::platform::SleepFor(std::chrono::milliseconds(50));
  }
}

int RunProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               const ProcessOptions& options) {
  return StartProcess(program, arguments, options)->Wait();
}

}  // namespace rt::testing
