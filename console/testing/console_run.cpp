#include "console/testing/console_run.h"

#include <atomic>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>

#include "runtime/platform/testing/test_support.h"

namespace console::testing {

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::filesystem::path BinaryFolder() { return rt::testing::BinaryFolder(); }

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

// One console run: its script written beside the home folder, its output
// going to files named after the script.
struct Prepared {
  std::filesystem::path program = rt::testing::BuiltProgram("labdocs-console");
  std::vector<std::string> arguments;
  rt::testing::ProcessOptions options;
};

Prepared Prepare(const std::filesystem::path& home, const std::string& script,
                 const std::vector<std::string>& arguments, const std::vector<std::string>& environment) {
  const std::filesystem::path folder = home.parent_path();
  static std::atomic<int> counter = 0;
  const std::string stem = "run" + std::to_string(++counter);
  const std::filesystem::path script_file = folder / (stem + ".script");
  std::ofstream(script_file, std::ios::binary) << script;
  Prepared prepared;
  prepared.options.environment = environment;
  prepared.options.standard_output = folder / (stem + ".out");
  prepared.options.standard_error = folder / (stem + ".err");
  prepared.arguments = {"--home", rt::testing::PathUtf8(home), "--script", rt::testing::PathUtf8(script_file)};
  prepared.arguments.insert(prepared.arguments.end(), arguments.begin(), arguments.end());
  return prepared;
}

std::unique_ptr<rt::testing::Process> Start(const Prepared& prepared) {
  return rt::testing::StartProcess(prepared.program, prepared.arguments, prepared.options);
}

ConsoleRun Collect(const Prepared& prepared, int exit_code) {
  ConsoleRun run;
  run.exit_code = exit_code;
  run.out = ReadAll(prepared.options.standard_output);
  run.err = ReadAll(prepared.options.standard_error);
  return run;
}

}  // namespace

std::vector<std::string> DatabaseOptions(const rt::testing::TestDatabase& database) {
  if (database.Kind() == rt::Engine::Sqlite) return {};
  return {"--database", database.Setting()};
}

ConsoleRun RunConsole(const std::filesystem::path& home, const std::string& script,
                      const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                      const std::filesystem::path& program) {
  Prepared prepared = Prepare(home, script, arguments, environment);
  if (!program.empty()) prepared.program = program;
  return Collect(prepared, Start(prepared)->Wait());
}

std::vector<ConsoleRun> RunConsolesAtOnce(const std::filesystem::path& home, const std::vector<std::string>& scripts,
                                          const std::vector<std::string>& arguments) {
  // Every script is written before the first console starts, and all are
  // started before any is waited for, so that they run together.
  std::vector<Prepared> prepared;
  for (const std::string& script : scripts) prepared.push_back(Prepare(home, script, arguments, {}));
  std::vector<std::unique_ptr<rt::testing::Process>> started;
  for (const Prepared& run : prepared) started.push_back(Start(run));
  std::vector<ConsoleRun> runs;
  for (std::size_t i = 0; i < prepared.size(); ++i) runs.push_back(Collect(prepared[i], started[i]->Wait()));
  return runs;
}

}  // namespace console::testing
