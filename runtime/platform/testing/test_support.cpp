// The parts of the test support that are the same on every system.
#include "runtime/platform/testing/test_support.h"

#include "runtime/platform/platform.h"

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

int RunProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               const ProcessOptions& options) {
  return StartProcess(program, arguments, options)->Wait();
}

}  // namespace rt::testing
