#include "console/testing/console_run.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace console::testing {
namespace {

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// A word for the shell, in single quotes.
std::string Quote(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

std::filesystem::path BinaryFolder() {
  if (const char* bin = std::getenv("LABDOCS_TEST_BIN")) return bin;
  return std::filesystem::canonical("/proc/self/exe").parent_path();
}

std::vector<std::string> ConsoleRun::Lines() const {
  std::vector<std::string> lines;
  std::stringstream stream(out);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

bool ConsoleRun::HasLine(const std::string& line) const {
  for (const std::string& l : Lines())
    if (l == line) return true;
  return false;
}

std::vector<std::string> ConsoleRun::Block(const std::string& first_line) const {
  std::vector<std::string> block;
  bool inside = false;
  for (const std::string& line : Lines()) {
    if (inside && line.rfind("> ", 0) == 0) break;
    if (!inside && line == first_line) inside = true;
    if (inside) block.push_back(line);
  }
  return block;
}

TempFolder::TempFolder() {
  std::random_device random;
  path_ = std::filesystem::temp_directory_path() / ("console-test-" + std::to_string(random()));
  std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
  std::error_code error;
  std::filesystem::remove_all(path_, error);
}

ConsoleRun RunConsole(const std::filesystem::path& home, const std::string& script,
                      const std::vector<std::string>& arguments, const std::vector<std::string>& environment) {
  const std::filesystem::path folder = home.parent_path();
  static int counter = 0;
  const std::string stem = "run" + std::to_string(++counter);
  const std::filesystem::path script_file = folder / (stem + ".script");
  const std::filesystem::path out_file = folder / (stem + ".out");
  const std::filesystem::path err_file = folder / (stem + ".err");
  std::ofstream(script_file, std::ios::binary) << script;

  std::string command;
  for (const std::string& assignment : environment) command += assignment.substr(0, assignment.find('=') + 1) +
                                                               Quote(assignment.substr(assignment.find('=') + 1)) + " ";
  command += Quote((BinaryFolder() / "labdocs-console").string()) + " --home " + Quote(home.string()) +
             " --script " + Quote(script_file.string());
  for (const std::string& argument : arguments) command += " " + Quote(argument);
  command += " >" + Quote(out_file.string()) + " 2>" + Quote(err_file.string()) + " </dev/null";

  ConsoleRun run;
  const int status = std::system(command.c_str());
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = ReadAll(out_file);
  run.err = ReadAll(err_file);
  return run;
}

}  // namespace console::testing
