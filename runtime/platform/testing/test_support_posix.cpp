// The test support on POSIX systems.
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "runtime/platform/testing/test_support.h"

namespace rt::testing {

void SetEnv(const std::string& name, const std::optional<std::string>& value) {
  if (value) ::setenv(name.c_str(), value->c_str(), 1);
  else ::unsetenv(name.c_str());
}

std::optional<std::string> GetEnv(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

bool SetFileTimes(const std::filesystem::path& file, const std::optional<FileTimeValue>& access,
                  const std::optional<FileTimeValue>& write) {
  auto to_timespec = [](const std::optional<FileTimeValue>& value) {
    if (!value) return timespec{0, UTIME_OMIT};
    return timespec{static_cast<time_t>(value->seconds), static_cast<long>(value->nanoseconds)};
  };
  const timespec times[2] = {to_timespec(access), to_timespec(write)};
  return ::utimensat(AT_FDCWD, file.c_str(), times, 0) == 0;
}

std::filesystem::path ProgramPath() { return std::filesystem::canonical("/proc/self/exe"); }

std::filesystem::path BuiltProgram(std::string_view name) { return BinaryFolder() / std::string(name); }

std::filesystem::path BuiltLibrary(std::string_view name) { return BinaryFolder() / (std::string(name) + ".so"); }

RecordingOpener::RecordingOpener(const std::filesystem::path& record) : record_(record) {
  const std::filesystem::path script = record.parent_path() / (record.filename().string() + ".opener.sh");
  {
    std::ofstream out(script);
    out << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << record.string() << "'\n";
  }
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  variable_ = std::make_unique<ScopedEnv>("LABDOCS_OPEN_COMMAND", script.string());
}

bool LibraryPathVariable() { return true; }

bool OpenCommandVariable() { return true; }

bool LibraryIsLoaded(const std::string& windows_name) {
  std::string stem = std::filesystem::path(windows_name).stem().string();
  struct Search {
    std::string names[2];
    bool found = false;
  } search{{stem + ".so", "lib" + stem + ".so"}};
  ::dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t, void* data) {
        auto* s = static_cast<Search*>(data);
        const std::string name = std::filesystem::path(info->dlpi_name ? info->dlpi_name : "").filename().string();
        s->found = s->found || name == s->names[0] || name == s->names[1];
        return 0;
      },
      &search);
  return search.found;
}

bool MakeFifo(const std::filesystem::path& path) {
  if (::mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("cannot make the FIFO " + path.string());
  return true;
}

bool UnderWine() { return false; }

ProgramFolder::ProgramFolder(std::filesystem::path folder) : folder_(std::move(folder)) {
  std::filesystem::create_directories(folder_);
}

void ProgramFolder::Add(const std::filesystem::path& library, const std::string& file_name) const {
  std::filesystem::copy_file(library, folder_ / file_name, std::filesystem::copy_options::overwrite_existing);
}

std::filesystem::path ProgramFolder::Program(std::string_view name) const { return BuiltProgram(name); }

std::vector<std::string> ProgramFolder::Environment() const { return {"LABDOCS_DLL_PATH=" + folder_.string()}; }

namespace {

class PosixProcess : public Process {
 public:
  explicit PosixProcess(pid_t pid) : pid_(pid) {}
  ~PosixProcess() override { Wait(); }
  int Wait() override {
    if (pid_ > 0) {
      int status = 0;
      pid_t done;
      do done = ::waitpid(pid_, &status, 0);
      while (done < 0 && errno == EINTR);
      exit_code_ = done == pid_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      pid_ = -1;
    }
    return exit_code_;
  }

 private:
  pid_t pid_;
  int exit_code_ = -1;
};

// In the child: opens a file (or the null device) as one standard stream.
void Redirect(const std::filesystem::path& file, int stream, int flags) {
  const int fd = ::open(file.empty() ? "/dev/null" : file.c_str(), flags, 0644);
  if (fd < 0 || ::dup2(fd, stream) < 0) ::_exit(127);
  ::close(fd);
}

}  // namespace

std::unique_ptr<Process> StartProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                                      const ProcessOptions& options) {
  // Everything the child needs is made before fork: the child only calls
  // functions that are safe after it.
  std::vector<std::string> texts;
  texts.push_back(program.string());
  texts.insert(texts.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view assignment(*entry);
    bool replaced = false;
    for (const std::string& added : options.environment)
      replaced = replaced || assignment.substr(0, assignment.find('=') + 1) == added.substr(0, added.find('=') + 1);
    if (!replaced) environment.emplace_back(assignment);
  }
  environment.insert(environment.end(), options.environment.begin(), options.environment.end());
  std::vector<char*> envp;
  for (std::string& assignment : environment) envp.push_back(assignment.data());
  envp.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    Redirect(options.standard_input, 0, O_RDONLY);
    Redirect(options.standard_output, 1, O_WRONLY | O_CREAT | O_TRUNC);
    Redirect(options.standard_error, 2, O_WRONLY | O_CREAT | O_TRUNC);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  return std::make_unique<PosixProcess>(pid);
}

}  // namespace rt::testing
