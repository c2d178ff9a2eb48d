// The operating system services that the plug-in, the document store and the
// runtime call, under their Windows names, types and meaning.
//
// On Windows these are the system's own functions (<windows.h>). Elsewhere
// the runtime implements them in the global namespace with the same names,
// argument types and results, one file per family (NAME_posix.cpp, named at
// each family below, sharing posix_internal.h), so callers are written once:
//   - paths are ANSI (GBK) texts with '\' (or '/') as the separator; they are
//     converted to the native form by rt::platform::ToNativePath;
//   - a function reports failure by its result (FALSE, nullptr,
//     INVALID_HANDLE_VALUE, INVALID_FILE_ATTRIBUTES, a value <= 32 from
//     ShellExecuteA) and sets the thread's last error (GetLastError) to a
//     Windows error code; no exception ever escapes;
//   - LoadLibraryA("X.dll") loads the shared library "X.so" or "libX.so" by
//     the dynamic loader's search rules (LD_LIBRARY_PATH, the loading
//     binary's run path, the system's folders); a name with a folder in it
//     is loaded from that folder;
//   - ShellExecuteA "open" starts the program that the desktop associates
//     with the file (xdg-open, or the program named by the environment
//     variable LABDOCS_OPEN_COMMAND), detached, without waiting for it;
//   - CreateFileA opens or creates files (not folders). The share mode is not
//     enforced: any process may rename or delete a file that is open.
//     LockFileEx and UnlockFileEx lock byte ranges of the open file as the
//     system's open-file-description locks: another handle, also one of the
//     same process, cannot lock bytes that a handle holds, and the lock goes
//     when its handle is closed or its process ends, however it ends. The
//     locks are advisory (reads and writes are not kept out), an exclusive
//     lock needs a handle opened for writing and a shared one a handle
//     opened for reading, and neither locking bytes that the handle holds
//     already nor unlocking bytes that it does not hold is refused.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#if defined(_WIN32)

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shellapi.h>

namespace rt::platform {
inline constexpr char kPathDelimiter = '\\';
}  // namespace rt::platform

#else

#include <cstdint>

#ifndef WINAPI
#define WINAPI
#endif

// ---- Types ------------------------------------------------------------------

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LPDWORD = DWORD*;
using LPWORD = WORD*;
using ULONG_PTR = std::uintptr_t;
using CHAR = char;
using LPSTR = char*;
using LPCSTR = const char*;
using HANDLE = void*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
struct HWND__;
using HWND = HWND__*;
using FARPROC = std::intptr_t (*)();
struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

// 100-nanosecond intervals since 1601-01-01 (UTC, or local after
// FileTimeToLocalFileTime).
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
using LPFILETIME = FILETIME*;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;
inline constexpr DWORD MAX_PATH = 260;

struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  CHAR cFileName[MAX_PATH];
  CHAR cAlternateFileName[14];
};
using LPWIN32_FIND_DATAA = WIN32_FIND_DATAA*;

// Where a byte range of a file begins (LockFileEx, UnlockFileEx); the other
// members are the system's.
struct OVERLAPPED {
  ULONG_PTR Internal;
  ULONG_PTR InternalHigh;
  DWORD Offset;
  DWORD OffsetHigh;
  HANDLE hEvent;
};
using LPOVERLAPPED = OVERLAPPED*;

// ---- Constants --------------------------------------------------------------

inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
inline constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
inline constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x02;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;

inline constexpr DWORD GENERIC_READ = 0x80000000u;
inline constexpr DWORD GENERIC_WRITE = 0x40000000u;
inline constexpr DWORD FILE_SHARE_READ = 0x1;
inline constexpr DWORD FILE_SHARE_WRITE = 0x2;
inline constexpr DWORD FILE_SHARE_DELETE = 0x4;
inline constexpr DWORD CREATE_NEW = 1;
inline constexpr DWORD CREATE_ALWAYS = 2;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD OPEN_ALWAYS = 4;
inline constexpr DWORD TRUNCATE_EXISTING = 5;
inline constexpr DWORD LOCKFILE_FAIL_IMMEDIATELY = 0x1;
inline constexpr DWORD LOCKFILE_EXCLUSIVE_LOCK = 0x2;

inline constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
inline constexpr DWORD MOVEFILE_COPY_ALLOWED = 0x2;
inline constexpr DWORD MOVEFILE_WRITE_THROUGH = 0x8;

inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOWMAXIMIZED = 3;
inline constexpr int SW_SHOW = 5;

// ShellExecuteA answers a value above 32 on success, else one of these.
inline constexpr int SE_ERR_FNF = 2;
inline constexpr int SE_ERR_PNF = 3;
inline constexpr int SE_ERR_ACCESSDENIED = 5;
inline constexpr int SE_ERR_OOM = 8;
inline constexpr int SE_ERR_NOASSOC = 31;

inline constexpr DWORD MAX_COMPUTERNAME_LENGTH = 15;

// Error codes of GetLastError.
inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
inline constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_NOT_SAME_DEVICE = 17;
inline constexpr DWORD ERROR_NO_MORE_FILES = 18;
inline constexpr DWORD ERROR_WRITE_PROTECT = 19;
inline constexpr DWORD ERROR_GEN_FAILURE = 31;
inline constexpr DWORD ERROR_SHARING_VIOLATION = 32;
inline constexpr DWORD ERROR_LOCK_VIOLATION = 33;
inline constexpr DWORD ERROR_FILE_EXISTS = 80;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_BUFFER_OVERFLOW = 111;
inline constexpr DWORD ERROR_DISK_FULL = 112;
inline constexpr DWORD ERROR_INVALID_NAME = 123;
inline constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
inline constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
inline constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
inline constexpr DWORD ERROR_ALREADY_EXISTS = 183;
inline constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
inline constexpr DWORD ERROR_DIRECTORY = 267;

// ---- Functions --------------------------------------------------------------

// Dynamic libraries (library_posix.cpp).
HMODULE LoadLibraryA(LPCSTR lib_file_name);
FARPROC GetProcAddress(HMODULE module, LPCSTR proc_name);
BOOL FreeLibrary(HMODULE module);

// Files and folders (file_posix.cpp).
BOOL CopyFileA(LPCSTR existing_file_name, LPCSTR new_file_name, BOOL fail_if_exists);
BOOL MoveFileExA(LPCSTR existing_file_name, LPCSTR new_file_name, DWORD flags);
BOOL DeleteFileA(LPCSTR file_name);
BOOL CreateDirectoryA(LPCSTR path_name, LPSECURITY_ATTRIBUTES security_attributes);
BOOL RemoveDirectoryA(LPCSTR path_name);
DWORD GetFileAttributesA(LPCSTR file_name);
DWORD GetCurrentDirectoryA(DWORD buffer_length, LPSTR buffer);

// Open files (open_file_posix.cpp): a handle from CreateFileA (INVALID_HANDLE_VALUE on failure),
// closed by CloseHandle. CREATE_ALWAYS and OPEN_ALWAYS set the last error
// to ERROR_ALREADY_EXISTS when the file was there.
HANDLE CreateFileA(LPCSTR file_name, DWORD desired_access, DWORD share_mode, LPSECURITY_ATTRIBUTES security_attributes,
                   DWORD creation_disposition, DWORD flags_and_attributes, HANDLE template_file);
BOOL CloseHandle(HANDLE object);
// Locks the bytes from overlapped->Offset/OffsetHigh on: exclusively with
// LOCKFILE_EXCLUSIVE_LOCK, else shared; without LOCKFILE_FAIL_IMMEDIATELY it
// waits until they can be locked, with it a lock held elsewhere fails at
// once with ERROR_LOCK_VIOLATION.
BOOL LockFileEx(HANDLE file, DWORD flags, DWORD reserved, DWORD number_of_bytes_to_lock_low,
                DWORD number_of_bytes_to_lock_high, LPOVERLAPPED overlapped);
BOOL UnlockFileEx(HANDLE file, DWORD reserved, DWORD number_of_bytes_to_unlock_low,
                  DWORD number_of_bytes_to_unlock_high, LPOVERLAPPED overlapped);

// File search (find_file_posix.cpp, the patterns in wildcard_posix.cpp): the
// file name may end in a pattern with '*' and '?'.
HANDLE FindFirstFileA(LPCSTR file_name, LPWIN32_FIND_DATAA find_data);
BOOL FindNextFileA(HANDLE find_file, LPWIN32_FIND_DATAA find_data);
BOOL FindClose(HANDLE find_file);

// Times (time_posix.cpp).
void GetSystemTimeAsFileTime(LPFILETIME system_time_as_file_time);
BOOL FileTimeToLocalFileTime(const FILETIME* file_time, LPFILETIME local_file_time);
BOOL FileTimeToDosDateTime(const FILETIME* file_time, LPWORD fat_date, LPWORD fat_time);

// The shell (shell_posix.cpp, starting the program in process_posix.cpp):
// opens a file with the program associated with its type.
HINSTANCE ShellExecuteA(HWND hwnd, LPCSTR operation, LPCSTR file, LPCSTR parameters, LPCSTR directory, int show_cmd);

// The machine (computer_name_posix.cpp) and the thread's last error
// (last_error_posix.cpp).
BOOL GetComputerNameA(LPSTR buffer, LPDWORD size);
DWORD GetLastError();
void SetLastError(DWORD error_code);

namespace rt::platform {
inline constexpr char kPathDelimiter = '/';
}  // namespace rt::platform

#endif

// What the runtime adds on every system: paths (path_posix.cpp,
// path_win32.cpp) and the runtime's own folder (library_posix.cpp,
// library_win32.cpp).
namespace rt::platform {

// An ANSI (GBK) path as the operating system's file functions take it: on
// Windows the text itself; elsewhere UTF-8 with every '\' separator turned
// into '/' (a '\' byte that is the second byte of a double-byte character is
// part of that character) and doubled separators made single. Throws
// rt::EConvertError for a text that is not GBK.
std::string ToNativePath(std::string_view ansi_path);

// A procedure address as the function type it has. (A cast through the
// generic function pointer type, which every compiler accepts without a
// warning about incompatible function types.)
template <class Function>
Function ProcAs(FARPROC proc) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}

// The folder of the runtime library itself, as an ANSI (GBK) path ending in
// a separator: where the libraries that the runtime loads for itself lie.
std::string RuntimeFolder();

// The reverse: a native path as an ANSI (GBK) text. Characters that GBK
// cannot hold become '?'. Separators stay as they are ('/' is a separator on
// every system). Throws rt::EConvertError for invalid UTF-8.
std::string FromNativePath(std::string_view native_path);

// The path contract. OS calls (the functions above, fopen, std::ifstream
// with a narrow name) take ANSI (GBK) texts. A std::filesystem::path is made
// only by these functions: on Windows the C++ library would widen a narrow
// text byte by byte as if it were Latin-1, which garbles every GBK name.
// SQLite takes its file names in UTF-8 on every system.
//
// The path that an ANSI (GBK) path names, separators as ToNativePath makes
// them. Throws rt::EConvertError for a text that is not GBK.
std::filesystem::path NativePath(std::string_view ansi_path);
// The reverse: a path as an ANSI (GBK) text; characters GBK cannot hold
// become '?'.
std::string AnsiPath(const std::filesystem::path& path);
// A path from its UTF-8 text (the console's command line, the tests' names)
// and back.
std::filesystem::path Utf8Path(std::string_view utf8_path);
std::string PathUtf8(const std::filesystem::path& path);
// An ANSI (GBK) path as SQLite takes a file name: UTF-8, native separators.
// Throws rt::EConvertError for a text that is not GBK.
std::string SqliteFileName(std::string_view ansi_path);

// The home folder a host and labdocs-admin take when they are given none, as
// a path. On Windows the user's own local application data, its folder
// labdocs (%LOCALAPPDATA%\labdocs; not made here): a program started from
// the Start menu runs in its program folder, which its users may not write
// and its uninstaller removes. Elsewhere the current folder, where a person
// runs the console.
std::filesystem::path DefaultHomeFolder();

}  // namespace rt::platform
