// The shell on POSIX systems (ShellExecuteA "open"): the desktop's program
// for opening files (xdg-open, or LABDOCS_OPEN_COMMAND), started detached.
#include "runtime/platform/platform.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/platform/posix_internal.h"
#include "runtime/text/gbk.h"

using rt::platform::posix::ErrorFromErrno;
using rt::platform::posix::Fail;
using rt::platform::posix::Guarded;
using rt::platform::posix::Native;
using rt::platform::posix::SpawnDetached;
using rt::platform::posix::Succeed;

namespace {

// Splits a parameter text into arguments at blanks; double quotes group.
std::vector<std::string> SplitParameters(std::string_view text) {
  std::vector<std::string> args;
  std::string current;
  bool in_quotes = false, has_arg = false;
  for (char c : text) {
    if (c == '"') {
      in_quotes = !in_quotes;
      has_arg = true;
    } else if (!in_quotes && (c == ' ' || c == '\t')) {
      if (has_arg) args.push_back(current);
      current.clear();
      has_arg = false;
    } else {
      current.push_back(c);
      has_arg = true;
    }
  }
  if (has_arg) args.push_back(current);
  return args;
}

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The program that opens files: LABDOCS_OPEN_COMMAND when set, else
// xdg-open; found through PATH unless the name holds a folder. Empty when
// there is none.
std::string FindOpenProgram() {
  const char* configured = std::getenv("LABDOCS_OPEN_COMMAND");
  std::string name = configured != nullptr && *configured != '\0' ? configured : "xdg-open";
  if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : std::string();
  const char* path_env = std::getenv("PATH");
  std::string path = path_env != nullptr ? path_env : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  for (;;) {
    std::size_t colon = path.find(':', start);
    std::string dir = path.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (dir.empty()) dir = ".";
    std::string candidate = dir + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return {};
}

HINSTANCE ShellResult(int code) { return reinterpret_cast<HINSTANCE>(static_cast<std::intptr_t>(code)); }

}  // namespace

HINSTANCE ShellExecuteA(HWND, LPCSTR operation, LPCSTR file, LPCSTR parameters, LPCSTR directory, int) {
  return Guarded<HINSTANCE>(ShellResult(SE_ERR_OOM), [&]() -> HINSTANCE {
    if (operation != nullptr && *operation != '\0' && !rt::gbk::SameText(operation, "open"))
      return Fail(ERROR_GEN_FAILURE, ShellResult(SE_ERR_NOASSOC));
    if (file == nullptr || *file == '\0') return Fail(ERROR_FILE_NOT_FOUND, ShellResult(SE_ERR_FNF));
    std::string target;
    std::string work_dir;
    if (directory != nullptr && *directory != '\0' && !Native(directory, work_dir)) return ShellResult(SE_ERR_PNF);
    std::string_view file_text(file);
    std::size_t scheme = file_text.find("://");
    bool url = scheme != std::string_view::npos && scheme > 1 && file_text.find_first_of("\\/") > scheme;
    if (url) {
      target = rt::gbk::ToUtf8(file_text);
    } else {
      if (!Native(file, target)) return ShellResult(SE_ERR_FNF);
      if (target.front() != '/') {
        std::string base = work_dir;
        if (base.empty()) {
          std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
          if (cwd) base = cwd.get();
        }
        if (!base.empty()) target = (base.back() == '/' ? base : base + "/") + target;
      }
      struct stat st;
      if (::stat(target.c_str(), &st) != 0) {
        DWORD error = ErrorFromErrno(errno, target);
        return Fail(error, ShellResult(error == ERROR_PATH_NOT_FOUND ? SE_ERR_PNF : SE_ERR_FNF));
      }
    }
    std::string program = FindOpenProgram();
    if (program.empty()) return Fail(ERROR_FILE_NOT_FOUND, ShellResult(SE_ERR_NOASSOC));
    std::vector<std::string> argv{program, target};
    if (parameters != nullptr && *parameters != '\0')
      for (std::string& arg : SplitParameters(rt::gbk::ToUtf8(parameters))) argv.push_back(std::move(arg));
    int error = SpawnDetached(argv, work_dir);
    if (error != 0) {
      if (error == ENOENT && !work_dir.empty()) return Fail(ERROR_PATH_NOT_FOUND, ShellResult(SE_ERR_PNF));
      if (error == ENOMEM) return Fail(ERROR_NOT_ENOUGH_MEMORY, ShellResult(SE_ERR_OOM));
      return Fail(ERROR_FILE_NOT_FOUND, ShellResult(SE_ERR_NOASSOC));
    }
    Succeed();
    return ShellResult(42);
  });
}
