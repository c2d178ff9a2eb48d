#include "console/testing/console_run.h"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

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

namespace {

// One console run's command line for the shell, its script written beside
// the home folder; its output goes to files named after the script.
struct Prepared {
  std::string command;
  std::filesystem::path out_file, err_file;
};

Prepared Prepare(const std::filesystem::path& home, const std::string& script, const std::vector<std::string>& arguments,
                 const std::vector<std::string>& environment) {
  const std::filesystem::path folder = home.parent_path();
  static std::atomic<int> counter = 0;
  const std::string stem = "run" + std::to_string(++counter);
  const std::filesystem::path script_file = folder / (stem + ".script");
  Prepared prepared;
  prepared.out_file = folder / (stem + ".out");
  prepared.err_file = folder / (stem + ".err");
  std::ofstream(script_file, std::ios::binary) << script;

  std::string& command = prepared.command;
  for (const std::string& assignment : environment) command += assignment.substr(0, assignment.find('=') + 1) +
                                                               Quote(assignment.substr(assignment.find('=') + 1)) + " ";
  command += Quote((BinaryFolder() / "labdocs-console").string()) + " --home " + Quote(home.string()) +
             " --script " + Quote(script_file.string());
  for (const std::string& argument : arguments) command += " " + Quote(argument);
  command += " >" + Quote(prepared.out_file.string()) + " 2>" + Quote(prepared.err_file.string()) + " </dev/null";
  return prepared;
}

ConsoleRun Collect(const Prepared& prepared, int status) {
  ConsoleRun run;
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = ReadAll(prepared.out_file);
  run.err = ReadAll(prepared.err_file);
  return run;
}

}  // namespace

ConsoleRun RunConsole(const std::filesystem::path& home, const std::string& script,
                      const std::vector<std::string>& arguments, const std::vector<std::string>& environment) {
  const Prepared prepared = Prepare(home, script, arguments, environment);
  return Collect(prepared, std::system(prepared.command.c_str()));
}

std::vector<ConsoleRun> RunConsolesAtOnce(const std::filesystem::path& home, const std::vector<std::string>& scripts,
                                          const std::vector<std::string>& arguments) {
  std::vector<Prepared> prepared;
  for (const std::string& script : scripts) prepared.push_back(Prepare(home, script, arguments, {}));
  // Every child waits until the pipe's writing end is closed, which the
  // parent does once all are started.
  int gate[2];
  if (::pipe(gate) != 0) throw std::runtime_error("pipe failed");
  std::vector<pid_t> children;
  for (const Prepared& run : prepared) {
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(gate[1]);
      char byte;
      while (::read(gate[0], &byte, 1) > 0) {
      }
      ::close(gate[0]);
      ::execl("/bin/sh", "sh", "-c", run.command.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    children.push_back(child);  // -1: not started
  }
  ::close(gate[0]);
  ::close(gate[1]);
  std::vector<ConsoleRun> runs;
  for (std::size_t i = 0; i < prepared.size(); ++i) {
    int status = -1;
    if (children[i] > 0) ::waitpid(children[i], &status, 0);
    runs.push_back(Collect(prepared[i], status));
  }
  return runs;
}

}  // namespace console::testing
