// Running the console binary in the tests: a fresh temporary folder with a
// home folder in it, a script, and the console's output and exit code.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "runtime/data/testing/test_database.h"
#include "runtime/platform/testing/test_support.h"

namespace console::testing {

// The folder of the built binaries (LABDOCS_TEST_BIN, set by CTest; else
// the folder of the running test program).
std::filesystem::path BinaryFolder();

// A file's bytes; none when it cannot be read.
std::string ReadAll(const std::filesystem::path& path);

struct ConsoleRun {
  int exit_code = -1;
  std::string out;  // standard output (UTF-8)
  std::string err;  // standard error
  std::vector<std::string> Lines() const;
  // True when the output holds the line exactly.
  bool HasLine(const std::string& line) const;
  // The lines from the first that equals first_line up to the next echoed
  // script line ("> ...") or the end.
  std::vector<std::string> Block(const std::string& first_line) const;
};

// A temporary folder, removed with everything in it at the end of the test.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  // The home folder inside it (not made: the console makes it).
  std::filesystem::path Home() const { return path_ / rt::testing::Utf8Path(u8"家目录 home"); }

 private:
  std::filesystem::path path_;
};

// The console's options that open a test's database: --database with the
// setting of a schema of its own on the server; none on SQLite, where the
// console opens its home folder's labdocs.db.
std::vector<std::string> DatabaseOptions(const rt::testing::TestDatabase& database);

// Runs the console on a home folder with a script (UTF-8) given by
// --script, with further arguments and environment assignments
// ("NAME=value") in front; `program` instead of the build's console when
// given.
ConsoleRun RunConsole(const std::filesystem::path& home, const std::string& script,
                      const std::vector<std::string>& arguments = {}, const std::vector<std::string>& environment = {},
                      const std::filesystem::path& program = {});

// Runs one console per script on the same home folder, all started before
// any is waited for, and waits for all.
// The runs come back in the scripts' order.
std::vector<ConsoleRun> RunConsolesAtOnce(const std::filesystem::path& home, const std::vector<std::string>& scripts,
                                          const std::vector<std::string>& arguments = {});

}  // namespace console::testing
