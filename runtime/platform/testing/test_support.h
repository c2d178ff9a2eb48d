// What the tests need of the operating system beyond the Windows services of
// platform.h, written once for both systems: environment variables, file
// times, the test program's own folder, paths named in UTF-8, and starting
// other programs. One file per system implements it (test_support_posix.cpp,
// test_support_win32.cpp); the library rt_test_support links into every test
// program and into nothing else.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rt::testing {

// Sets an environment variable, or removes it (nullopt), for this process
// and the programs it starts.
void SetEnv(const std::string& name, const std::optional<std::string>& value);
// The variable's value; nullopt when it is not set.
std::optional<std::string> GetEnv(const std::string& name);

// Sets an environment variable for the life of the object, then restores it.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::optional<std::string>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// A path from its UTF-8 text, and back. (A std::filesystem::path made from a
// narrow string is taken in the system's narrow encoding, which on Windows is
// not UTF-8.)
std::filesystem::path Utf8Path(std::string_view utf8);
std::string PathUtf8(const std::filesystem::path& path);

// Sets a file's last-access and last-write times, each in seconds and
// nanoseconds since 1970-01-01 UTC; a time that is nullopt stays as it is.
// False when the file's times cannot be set.
struct FileTimeValue {
  std::int64_t seconds = 0;
  std::int64_t nanoseconds = 0;
};
bool SetFileTimes(const std::filesystem::path& file, const std::optional<FileTimeValue>& access,
                  const std::optional<FileTimeValue>& write);

// Removes a folder and everything in it. Windows keeps a file that a
// process still has open (a program the test started, ending on its own):
// the removal is tried again for up to ten seconds. Throws
// std::filesystem::filesystem_error when it still fails.
void RemoveAll(const std::filesystem::path& folder);

// The running test program's full path.
std::filesystem::path ProgramPath();
// The folder the test program and the built libraries are in:
// LABDOCS_TEST_BIN when CTest sets it, else the program's own folder.
std::filesystem::path BinaryFolder();
// A program of the build by its name without the system's suffix
// ("labdocs-console" is labdocs-console.exe on Windows), in BinaryFolder().
std::filesystem::path BuiltProgram(std::string_view name);

// A shared library of the build by its name without the system's suffix
// (fakeplugin.so, fakeplugin.dll), in BinaryFolder().
std::filesystem::path BuiltLibrary(std::string_view name);

// What differs between the systems' services, for tests of one side only:
//   - LABDOCS_DLL_PATH points LoadLibraryA's search at folders (POSIX); on
//     Windows the search is the system's, the program's folder first;
//   - LABDOCS_OPEN_COMMAND names ShellExecuteA's program (POSIX); on Windows
//     the program is the one registered for the file's type;
//   - named pipes (FIFOs) exist in the file system (POSIX).
bool LibraryPathVariable();
bool OpenCommandVariable();
// True when the system's services are Wine's, which differ from Windows' in
// a few answers to calls outside their contract (the tests that look at
// those say which).
bool UnderWine();
// Whether a library of that file name (a Windows name, "LAB_DOC.dll": on
// POSIX systems LAB_DOC.so or libLAB_DOC.so) is mapped into this process.
bool LibraryIsLoaded(const std::string& windows_name);
// Makes a FIFO; false where the system has none. Throws std::runtime_error
// when the system has them and this one cannot be made.
bool MakeFifo(const std::filesystem::path& path);

// Makes ShellExecuteA "open" hand each file to a recording opener, which
// appends the path it gets (UTF-8) on a line of its own to a record file,
// for the life of the object. On POSIX systems the opener is a script
// beside the record, named by LABDOCS_OPEN_COMMAND; on Windows it is the
// program that the test prefix registers for the file types the tests open
// (tools/test-windows.sh), told the record by LABDOCS_TEST_OPEN_RECORD.
class RecordingOpener {
 public:
  explicit RecordingOpener(const std::filesystem::path& record);

  // The paths recorded so far (UTF-8), once there are at least `count` of
  // them or 20 seconds have passed: the opener runs detached.
  std::vector<std::string> Opened(std::size_t count) const;

 private:
  std::filesystem::path record_;
  std::unique_ptr<ScopedEnv> variable_;
};

// A folder from which the build's programs run with the document store a
// test chooses, or none. On POSIX systems the programs stay where they are
// and their library search is pointed at the folder (LABDOCS_DLL_PATH); on
// Windows, which searches a program's own folder first, the build's
// libraries, the store left out, are copied into it, and each program
// asked for.
class ProgramFolder {
 public:
  explicit ProgramFolder(std::filesystem::path folder);

  // Puts a library into the folder under the given file name.
  void Add(const std::filesystem::path& library, const std::string& file_name) const;
  // A program of the build, as it runs with the folder's libraries.
  std::filesystem::path Program(std::string_view name) const;
  // NAME=VALUE pairs the programs run with.
  std::vector<std::string> Environment() const;

 private:
  std::filesystem::path folder_;
};

// Runs the current test again in a process of its own: the test program
// from a ProgramFolder made at `folder` and given what `prepare` puts in
// it. In the test that started it: true, once the rerun has ended (a
// failure of the rerun fails the test). In the rerun: false, and the test
// goes on.
bool RerunFrom(const std::filesystem::path& folder, const std::function<void(const ProgramFolder&)>& prepare = {});

// A program started by StartProcess. Destroying the object waits for it.
class Process {
 public:
  virtual ~Process() = default;
  // Waits for the program to end; its exit code, -1 when it ended by a
  // signal or could not be waited for.
  virtual int Wait() = 0;
};

struct ProcessOptions {
  // NAME=VALUE pairs added to (or replacing in) the program's environment.
  std::vector<std::string> environment;
  // Files for the standard streams; empty: the null device.
  std::filesystem::path standard_input, standard_output, standard_error;
};

// Starts a program with the given arguments (UTF-8 texts, passed to it as
// they are, without a shell). Throws std::runtime_error when it cannot start.
std::unique_ptr<Process> StartProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                                      const ProcessOptions& options = {});
// Starts a program and waits for it: its exit code.
int RunProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               const ProcessOptions& options = {});

}  // namespace rt::testing
