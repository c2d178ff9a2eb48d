// CreateFileA's creation dispositions and the byte-range locks of
// LockFileEx/UnlockFileEx, which tell a live process's files from those of
// a process that ended.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "runtime/platform/ansi_test_folder.h"
#include "runtime/platform/platform.h"

namespace {

using rt::testing::AnsiTestFolder;
namespace fs = std::filesystem;

HANDLE Open(const std::string& ansi_path, DWORD disposition) {
  return CreateFileA(ansi_path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED overlapped{};
  overlapped.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
  overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return overlapped;
}

// Tries a lock of `length` bytes at `offset` without waiting; the last
// error, ERROR_SUCCESS when it was taken.
DWORD TryLock(HANDLE file, std::uint64_t offset, DWORD length, bool exclusive) {
  OVERLAPPED overlapped = At(offset);
  const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
  return LockFileEx(file, flags, 0, length, 0, &overlapped) ? ERROR_SUCCESS : GetLastError();
}

TEST(PlatformOpenFileTest, CreationDispositions) {
  struct Case {
    const char* name;
    bool exists;
    DWORD disposition;
    DWORD error;  // the last error afterwards
    bool opened;
    const char* content;  // the file's content afterwards; nullptr: no file
  };
  const Case cases[] = {
      {"new", false, CREATE_NEW, ERROR_SUCCESS, true, ""},
      {"new over existing", true, CREATE_NEW, ERROR_FILE_EXISTS, false, "old"},
      {"existing", true, OPEN_EXISTING, ERROR_SUCCESS, true, "old"},
      {"existing missing", false, OPEN_EXISTING, ERROR_FILE_NOT_FOUND, false, nullptr},
      {"always, was there", true, OPEN_ALWAYS, ERROR_ALREADY_EXISTS, true, "old"},
      {"always, was not", false, OPEN_ALWAYS, ERROR_SUCCESS, true, ""},
      {"create always, was there", true, CREATE_ALWAYS, ERROR_ALREADY_EXISTS, true, ""},
      {"truncate", true, TRUNCATE_EXISTING, ERROR_SUCCESS, true, ""},
      {"truncate missing", false, TRUNCATE_EXISTING, ERROR_FILE_NOT_FOUND, false, nullptr},
  };
  for (const Case& c : cases) {
    AnsiTestFolder folder;
    if (c.exists) folder.Write("文件.dat", "old");
    HANDLE file = Open(folder.Ansi("文件.dat"), c.disposition);
    EXPECT_EQ(GetLastError(), c.error) << c.name;
    EXPECT_EQ(file != INVALID_HANDLE_VALUE, c.opened) << c.name;
    if (file != INVALID_HANDLE_VALUE) {
      EXPECT_TRUE(CloseHandle(file)) << c.name;
    }
    EXPECT_EQ(fs::exists(folder.Native("文件.dat")), c.content != nullptr) << c.name;
    if (c.content != nullptr) {
      EXPECT_EQ(folder.Read("文件.dat"), c.content) << c.name;
    }
  }

  AnsiTestFolder folder;
  EXPECT_EQ(Open(folder.Ansi("无\\x.dat"), CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(Open(folder.Ansi(), OPEN_EXISTING), INVALID_HANDLE_VALUE) << "a folder is no file";
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(PlatformOpenFileTest, LockedBytesAreKeptFromOtherHandles) {
  AnsiTestFolder folder;
  const std::string path = folder.Ansi("锁.dat");
  HANDLE first = Open(path, CREATE_NEW);
  HANDLE second = Open(path, OPEN_EXISTING);
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  ASSERT_NE(second, INVALID_HANDLE_VALUE);
  const std::uint64_t far = std::uint64_t{1} << 40;

  ASSERT_EQ(TryLock(first, far, 10, true), ERROR_SUCCESS);
  EXPECT_EQ(TryLock(second, far + 9, 1, true), ERROR_LOCK_VIOLATION) << "another handle of this process";
  EXPECT_EQ(TryLock(second, far + 9, 1, false), ERROR_LOCK_VIOLATION);
  EXPECT_EQ(TryLock(second, far + 10, 1, true), ERROR_SUCCESS) << "the bytes after the range";
  // Shared locks share, and keep an exclusive one out.
  EXPECT_EQ(TryLock(first, 100, 1, false), ERROR_SUCCESS);
  EXPECT_EQ(TryLock(second, 100, 1, false), ERROR_SUCCESS);
  EXPECT_EQ(TryLock(second, 100, 1, true), ERROR_LOCK_VIOLATION);

  OVERLAPPED overlapped = At(far);
  EXPECT_TRUE(UnlockFileEx(first, 0, 10, 0, &overlapped));
  EXPECT_EQ(TryLock(second, far, 10, true), ERROR_SUCCESS);
  EXPECT_EQ(TryLock(first, far, 1, true), ERROR_LOCK_VIOLATION);
  // Closing a handle releases what it held.
  EXPECT_TRUE(CloseHandle(second));
  EXPECT_EQ(TryLock(first, far, 10, true), ERROR_SUCCESS);
  EXPECT_EQ(TryLock(first, far, 0, true), ERROR_INVALID_PARAMETER) << "an empty range";
  EXPECT_TRUE(CloseHandle(first));
  EXPECT_EQ(fs::file_size(folder.Native("锁.dat")), 0u) << "locks beyond the end do not grow the file";
}

TEST(PlatformOpenFileTest, AProcessThatEndsLeavesNoLockBehind) {
  AnsiTestFolder folder;
  const std::string path = folder.Ansi("锁.dat");
  folder.Write("锁.dat", "");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    HANDLE file = Open(path, OPEN_EXISTING);
    const char answer = file != INVALID_HANDLE_VALUE && TryLock(file, 7, 1, true) == ERROR_SUCCESS ? 'y' : 'n';
    (void)!::write(ready[1], &answer, 1);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char answer = 0;
  ASSERT_EQ(::read(ready[0], &answer, 1), 1);
  ::close(ready[0]);
  ASSERT_EQ(answer, 'y');

  HANDLE file = Open(path, OPEN_EXISTING);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(TryLock(file, 7, 1, true), ERROR_LOCK_VIOLATION);
  ::kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(TryLock(file, 7, 1, true), ERROR_SUCCESS);
  EXPECT_TRUE(CloseHandle(file));
}

}  // namespace
