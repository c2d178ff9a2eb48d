// Every program of the system says the project's version, project(VERSION)
// in CMakeLists.txt, for --version: "NAME VERSION" on a line of its own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/testing/console_run.h"
#include "runtime/platform/testing/test_support.h"

namespace {

TEST(Version, EveryProgramSaysTheProjectVersion) {
  std::vector<std::string> programs = {"labdocs-console", "labdocs-admin"};
  if (LABDOCS_TEST_HAS_DESKTOP) programs.push_back("labdocs-desktop");
  console::testing::TempFolder folder;
  for (const std::string& program : programs) {
    SCOPED_TRACE(program);
    rt::testing::ProcessOptions options;
    options.standard_output = folder.Path() / (program + ".out");
    options.standard_error = folder.Path() / (program + ".err");
    EXPECT_EQ(rt::testing::RunProcess(rt::testing::BuiltProgram(program), {"--version"}, options), 0);
    std::string out = console::testing::ReadAll(options.standard_output);
    std::erase(out, '\r');  // Windows' line ends
    EXPECT_EQ(out, program + " " LABDOCS_PROJECT_VERSION "\n");
    EXPECT_EQ(console::testing::ReadAll(options.standard_error), "");
  }
}

}  // namespace
