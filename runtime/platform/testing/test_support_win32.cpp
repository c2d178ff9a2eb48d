// The test support on Windows: wide-character system calls throughout, so
// that UTF-8 names and arguments reach the system whole whatever the ANSI
// code page is.
#include "runtime/platform/platform.h"  // <windows.h> with the project's macros

#include <cwchar>
#include <stdexcept>

#include "runtime/platform/testing/test_support.h"
#include "runtime/platform/wide.h"

namespace rt::testing {
namespace {

std::wstring Wide(std::string_view utf8) { return platform::Widen(CP_UTF8, utf8); }

std::string Utf8(std::wstring_view wide) { return platform::Narrow(CP_UTF8, wide); }

// One argument of a command line as CommandLineToArgvW and the C run time
// read it back.
std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, L'\\');
  quoted.push_back(L'"');
  return quoted;
}

FILETIME ToFileTime(const FileTimeValue& value) {
  const std::uint64_t ticks =
      static_cast<std::uint64_t>(value.seconds * 10000000 + value.nanoseconds / 100 + 116444736000000000LL);
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

class WindowsProcess : public Process {
 public:
  explicit WindowsProcess(HANDLE process) : process_(process) {}
  ~WindowsProcess() override { Wait(); }
  int Wait() override {
    if (process_ != nullptr) {
      DWORD code = 0;
      const bool waited = WaitForSingleObject(process_, INFINITE) == WAIT_OBJECT_0 &&
                          GetExitCodeProcess(process_, &code);
      exit_code_ = waited ? static_cast<int>(code) : -1;
      CloseHandle(process_);
      process_ = nullptr;
    }
    return exit_code_;
  }

 private:
  HANDLE process_;
  int exit_code_ = -1;
};

// A standard stream's file, inheritable by the child.
class StreamFile {
 public:
  StreamFile(const std::filesystem::path& file, bool writing) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const std::wstring name = file.empty() ? std::wstring(L"NUL") : file.wstring();
    handle_ = CreateFileW(name.c_str(), writing ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          &inherit, writing ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open a standard stream's file");
  }
  ~StreamFile() { CloseHandle(handle_); }
  StreamFile(const StreamFile&) = delete;
  StreamFile& operator=(const StreamFile&) = delete;
  HANDLE Handle() const { return handle_; }

 private:
  HANDLE handle_;
};

}  // namespace

void SetEnv(const std::string& name, const std::optional<std::string>& value) {
  // Both the system's block (for programs started) and the C run time's
  // copy (for getenv in this process).
  const std::wstring wide_name = Wide(name);
  SetEnvironmentVariableW(wide_name.c_str(), value ? Wide(*value).c_str() : nullptr);
  _wputenv_s(wide_name.c_str(), value ? Wide(*value).c_str() : L"");
}

std::optional<std::string> GetEnv(const std::string& name) {
  const std::wstring wide_name = Wide(name);
  const DWORD n = GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
  if (n == 0) return std::nullopt;
  std::wstring value(n, L'\0');
  const DWORD written = GetEnvironmentVariableW(wide_name.c_str(), value.data(), n);
  value.resize(written);
  return Utf8(value);
}

bool SetFileTimes(const std::filesystem::path& file, const std::optional<FileTimeValue>& access,
                  const std::optional<FileTimeValue>& write) {
  HANDLE handle = CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const FILETIME access_time = access ? ToFileTime(*access) : FILETIME{};
  const FILETIME write_time = write ? ToFileTime(*write) : FILETIME{};
  const bool set = SetFileTime(handle, nullptr, access ? &access_time : nullptr, write ? &write_time : nullptr);
  CloseHandle(handle);
  return set;
}

std::filesystem::path ProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      return std::filesystem::path(path);
    }
    path.resize(path.size() * 2);
  }
}

std::filesystem::path BuiltProgram(std::string_view name) { return BinaryFolder() / (std::string(name) + ".exe"); }

std::filesystem::path BuiltLibrary(std::string_view name) { return BinaryFolder() / (std::string(name) + ".dll"); }

RecordingOpener::RecordingOpener(const std::filesystem::path& record)
    : record_(record), variable_(std::make_unique<ScopedEnv>("LABDOCS_TEST_OPEN_RECORD", PathUtf8(record))) {}

bool LibraryPathVariable() { return false; }

bool OpenCommandVariable() { return false; }

bool LibraryIsLoaded(const std::string& windows_name) { return GetModuleHandleA(windows_name.c_str()) != nullptr; }

bool MakeFifo(const std::filesystem::path&) { return false; }

ProgramFolder::ProgramFolder(std::filesystem::path folder) : folder_(std::move(folder)) {
  std::filesystem::create_directories(folder_);
  // Copies, not links: a linked file would be the build's own, held by
  // every process that maps it and written through by Add.
  for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(BinaryFolder())) {
    const std::filesystem::path& file = entry.path();
    if (entry.is_regular_file() && file.extension() == L".dll" && file.filename() != L"LAB_DOC.dll")
      std::filesystem::copy_file(file, folder_ / file.filename());
  }
}

void ProgramFolder::Add(const std::filesystem::path& library, const std::string& file_name) const {
  std::filesystem::copy_file(library, folder_ / file_name, std::filesystem::copy_options::overwrite_existing);
}

std::filesystem::path ProgramFolder::Program(std::string_view name) const {
  const std::filesystem::path program = folder_ / BuiltProgram(name).filename();
  if (!std::filesystem::exists(program)) std::filesystem::copy_file(BuiltProgram(name), program);
  return program;
}

std::vector<std::string> ProgramFolder::Environment() const { return {}; }

bool UnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

std::unique_ptr<Process> StartProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                                      const ProcessOptions& options) {
  std::wstring command_line = QuoteArgument(program.wstring());
  for (const std::string& argument : arguments) command_line += L" " + QuoteArgument(Wide(argument));

  // The environment block: this process's, with the given variables added
  // or replaced, each NAME=VALUE ending in a 0 and the block in another.
  std::wstring block;
  std::vector<std::wstring> added;
  for (const std::string& assignment : options.environment) added.push_back(Wide(assignment));
  if (wchar_t* own = GetEnvironmentStringsW()) {
    for (const wchar_t* entry = own; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
      const std::wstring_view current(entry);
      bool replaced = false;
      for (const std::wstring& assignment : added)
        replaced = replaced || _wcsnicmp(entry, assignment.c_str(), assignment.find(L'=') + 1) == 0;
      if (!replaced) block.append(current).push_back(L'\0');
    }
    FreeEnvironmentStringsW(own);
  }
  for (const std::wstring& assignment : added) block.append(assignment).push_back(L'\0');
  block.push_back(L'\0');

  StreamFile input(options.standard_input, false);
  StreamFile output(options.standard_output, true);
  StreamFile error(options.standard_error, true);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input.Handle();
  startup.hStdOutput = output.Handle();
  startup.hStdError = error.Handle();
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                      block.data(), nullptr, &startup, &started))
    throw std::runtime_error("cannot start " + PathUtf8(program));
  CloseHandle(started.hThread);
  return std::make_unique<WindowsProcess>(started.hProcess);
}

}  // namespace rt::testing
