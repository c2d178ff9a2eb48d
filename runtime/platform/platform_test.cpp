#include "runtime/platform/platform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <thread>

#include "runtime/errors.h"
#include "runtime/platform/ansi_test_folder.h"
#include "runtime/platform/testing/test_support.h"
#include "runtime/sysutils.h"
#include "runtime/text/gbk.h"
#include "runtime/platform/sleep.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#endif

namespace {

using rt::testing::AnsiTestFolder;
namespace fs = std::filesystem;
using namespace std::chrono;

using rt::testing::kCage;
using rt::testing::kShallow;

std::uint64_t Ticks(const FILETIME& ft) {
  return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

FILETIME FromTicks(std::uint64_t ticks) {
  return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

// The FILETIME of a UTC calendar time.
FILETIME UtcFileTime(int y, unsigned mo, unsigned d, int h, int mi, int s, int ms = 0) {
  sys_days day = year{y} / month{mo} / d;
  auto since_1970 = duration_cast<milliseconds>(day.time_since_epoch()) + hours{h} + minutes{mi} + seconds{s} +
                    milliseconds{ms};
  return FromTicks(static_cast<std::uint64_t>(since_1970.count() * 10000 + 116444736000000000LL));
}

TEST(PlatformPathTest, TrailBytesAreNotSeparators) {
  ASSERT_EQ(kShallow.size(), 2u);
  ASSERT_EQ(kShallow[1], '\\');
#if !defined(_WIN32)
  EXPECT_EQ(rt::platform::ToNativePath("D:\\" + kShallow + "\\" + kCage + ".txt"), u8"D:/淺/籠.txt");
  // A name that ends in such a character keeps it whole.
  EXPECT_EQ(rt::platform::ToNativePath("/tmp/" + kShallow), u8"/tmp/淺");
  // Doubled separators count as one, as the file system resolves them.
  EXPECT_EQ(rt::platform::ToNativePath("/base/\\Configs\\\\MMCImages\\32×32\\\\a.ico"),
            u8"/base/Configs/MMCImages/32×32/a.ico");
  EXPECT_EQ(rt::platform::FromNativePath(u8"/tmp/淺/籠.txt"), "/tmp/" + kShallow + "/" + kCage + ".txt");
  EXPECT_THROW(rt::platform::ToNativePath("\x81"), rt::EConvertError);
#endif
  // What the runtime converts comes back unchanged.
  std::string path = "/tmp/" + kShallow + "/" + kCage + "/文件.doc";
  EXPECT_EQ(rt::platform::FromNativePath(rt::platform::ToNativePath(path)), path);
}

TEST(PlatformFileTest, FoldersWithDoubleByteNames) {
  AnsiTestFolder folder;
  std::string dir = folder.Ansi(kShallow);
  EXPECT_EQ(GetFileAttributesA(dir.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
  // One folder named by the whole character, not one named by its lead byte.
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder.Native())) names.insert(entry.path().filename().string());
  EXPECT_EQ(names, std::set<std::string>{rt::gbk::ToUtf8(kShallow)});
  DWORD attributes = GetFileAttributesA(dir.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);

  EXPECT_FALSE(CreateDirectoryA(dir.c_str(), nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  std::string orphan = folder.Ansi("无\\" + kCage);
  EXPECT_FALSE(CreateDirectoryA(orphan.c_str(), nullptr));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

  // A folder is not deleted as a file; an empty one is removed.
  EXPECT_FALSE(DeleteFileA(dir.c_str()));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  folder.Write(kShallow + "\\x.txt", "x");
  EXPECT_FALSE(RemoveDirectoryA(dir.c_str()));
  EXPECT_EQ(GetLastError(), ERROR_DIR_NOT_EMPTY);
  EXPECT_TRUE(DeleteFileA(folder.Ansi(kShallow + "\\x.txt").c_str()));
  EXPECT_TRUE(RemoveDirectoryA(dir.c_str()));
  EXPECT_FALSE(fs::exists(folder.Native(kShallow)));

  EXPECT_FALSE(CreateDirectoryA(nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST(PlatformFileTest, CopyFile) {
  AnsiTestFolder folder;
  std::string source = folder.Ansi(kShallow + "报告.doc");
  std::string target = folder.Ansi(kCage + ".doc");
  fs::path source_native = folder.Write(kShallow + "报告.doc", std::string("content\0with zero", 17));
  auto old_time = fs::last_write_time(source_native) - hours(30);
  fs::last_write_time(source_native, old_time);

  ASSERT_TRUE(CopyFileA(source.c_str(), target.c_str(), FALSE));
  EXPECT_EQ(folder.Read(kCage + ".doc"), std::string("content\0with zero", 17));
  EXPECT_EQ(fs::last_write_time(folder.Native(kCage + ".doc")), old_time);

  // An existing target stays when the caller asks so, else it is replaced.
  folder.Write(kCage + ".doc", "older");
  EXPECT_FALSE(CopyFileA(source.c_str(), target.c_str(), TRUE));
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
  EXPECT_EQ(folder.Read(kCage + ".doc"), "older");
  EXPECT_TRUE(CopyFileA(source.c_str(), target.c_str(), FALSE));
  EXPECT_EQ(folder.Read(kCage + ".doc").size(), 17u);

  // A copy onto itself fails and leaves the file whole.
  std::string same = folder.Ansi(kShallow + "报告.doc");
  EXPECT_FALSE(CopyFileA(source.c_str(), same.c_str(), FALSE));
  EXPECT_EQ(folder.Read(kShallow + "报告.doc").size(), 17u);

  std::string missing = folder.Ansi("缺少.doc");
  EXPECT_FALSE(CopyFileA(missing.c_str(), target.c_str(), FALSE));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  std::string no_folder = folder.Ansi("无\\x.doc");
  EXPECT_FALSE(CopyFileA(source.c_str(), no_folder.c_str(), FALSE));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST(PlatformFileTest, MoveAndDeleteFiles) {
  AnsiTestFolder folder;
  std::string temp = folder.Ansi(kShallow + ".tmp");
  std::string final_name = folder.Ansi(kCage + ".dat");
  folder.Write(kShallow + ".tmp", "new");
  folder.Write(kCage + ".dat", "old");

  EXPECT_FALSE(MoveFileExA(temp.c_str(), final_name.c_str(), 0));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(folder.Read(kCage + ".dat"), "old");

  ASSERT_TRUE(MoveFileExA(temp.c_str(), final_name.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(folder.Read(kCage + ".dat"), "new");
  EXPECT_FALSE(fs::exists(folder.Native(kShallow + ".tmp")));

  std::string renamed = folder.Ansi("改名.dat");
  EXPECT_TRUE(MoveFileExA(final_name.c_str(), renamed.c_str(), 0));
  EXPECT_EQ(folder.Read("改名.dat"), "new");

  EXPECT_TRUE(DeleteFileA(renamed.c_str()));
  EXPECT_FALSE(fs::exists(folder.Native("改名.dat")));
  EXPECT_FALSE(DeleteFileA(renamed.c_str()));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(PlatformFindTest, FindsOneFileWithItsTimes) {
  AnsiTestFolder folder;
  std::string name = kShallow + "文档.txt";
  fs::path native = folder.Write(name, "12345");
  FILETIME access = UtcFileTime(2021, 3, 4, 5, 6, 7, 500);
  FILETIME write = UtcFileTime(2020, 1, 2, 3, 4, 5);
  auto since_1970 = [](const FILETIME& ft) {
    std::int64_t ticks = static_cast<std::int64_t>(Ticks(ft)) - 116444736000000000LL;
    return rt::testing::FileTimeValue{ticks / 10000000, ticks % 10000000 * 100};
  };
  ASSERT_TRUE(rt::testing::SetFileTimes(native, since_1970(access), since_1970(write)));

  WIN32_FIND_DATAA data;
  std::string path = folder.Ansi(name);
  HANDLE find = FindFirstFileA(path.c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_EQ(std::string(data.cFileName), name);
  EXPECT_EQ(Ticks(data.ftLastAccessTime), Ticks(access));
  EXPECT_EQ(Ticks(data.ftLastWriteTime), Ticks(write));
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_FALSE(FindNextFileA(find, &data));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_TRUE(FindClose(find));
  if (!rt::testing::UnderWine()) {  // Wine answers yes to a second close
    EXPECT_FALSE(FindClose(find));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  }

  std::string missing = folder.Ansi("没有.txt");
  EXPECT_EQ(FindFirstFileA(missing.c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(PlatformFindTest, WildcardsMatchWholeCharacters) {
  AnsiTestFolder folder;
  for (const std::string& name :
       {kCage + ".txt", std::string("A.TXT"), std::string("b.doc"), kShallow + kCage + ".txt"})
    folder.Write(name, "x");
  auto find_all = [&](const std::string& pattern) {
    std::set<std::string> found;
    WIN32_FIND_DATAA data;
    std::string path = folder.Ansi(pattern);
    HANDLE find = FindFirstFileA(path.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return found;
    do {
      std::string name = data.cFileName;
      if (name != "." && name != "..") found.insert(name);
    } while (FindNextFileA(find, &data));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    FindClose(find);
    return found;
  };
  EXPECT_EQ(find_all("*.txt"), (std::set<std::string>{kCage + ".txt", "A.TXT", kShallow + kCage + ".txt"}));
  // '?' stands for one character, also a double-byte one.
  EXPECT_EQ(find_all("?.txt"), (std::set<std::string>{kCage + ".txt", "A.TXT"}));
  EXPECT_EQ(find_all("??.txt"), (std::set<std::string>{kShallow + kCage + ".txt"}));
  EXPECT_EQ(find_all(kShallow + "*"), (std::set<std::string>{kShallow + kCage + ".txt"}));
  EXPECT_EQ(find_all("*.*").size(), 4u);
  EXPECT_TRUE(find_all("*.xls").empty());
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

// A wait lasts at least as long as it was asked to (the 32-bit Windows
// build's C++ library once did not wait at all).
TEST(PlatformTimeTest, SleepForWaitsAtLeastItsDuration) {
  for (const milliseconds duration : {milliseconds(0), milliseconds(30), milliseconds(120)}) {
    const auto start = std::chrono::steady_clock::now();
    rt::platform::SleepFor(duration);
    EXPECT_GE(std::chrono::steady_clock::now() - start, duration) << duration.count();
  }
}

TEST(PlatformTimeTest, DosDateTimeKeepsEvenSeconds) {
  WORD date = 0, time = 0;
  FILETIME ft = UtcFileTime(2019, 5, 17, 13, 45, 31, 999);
  ASSERT_TRUE(FileTimeToDosDateTime(&ft, &date, &time));
  EXPECT_EQ(date, (39 << 9) | (5 << 5) | 17);
  EXPECT_EQ(time, (13 << 11) | (45 << 5) | 15);  // 31 s becomes 30 s
  ft = UtcFileTime(2019, 5, 17, 13, 45, 30);
  ASSERT_TRUE(FileTimeToDosDateTime(&ft, &date, &time));
  EXPECT_EQ(time, (13 << 11) | (45 << 5) | 15);
  ft = UtcFileTime(2000, 2, 29, 23, 59, 59);
  ASSERT_TRUE(FileTimeToDosDateTime(&ft, &date, &time));
  EXPECT_EQ(date, (20 << 9) | (2 << 5) | 29);
  EXPECT_EQ(time, (23 << 11) | (59 << 5) | 29);

  // The format's range: 1980-01-01 to 2107-12-31.
  ft = UtcFileTime(1980, 1, 1, 0, 0, 0);
  ASSERT_TRUE(FileTimeToDosDateTime(&ft, &date, &time));
  EXPECT_EQ(date, (1 << 5) | 1);
  EXPECT_EQ(time, 0);
  ft = UtcFileTime(2107, 12, 31, 23, 59, 58);
  ASSERT_TRUE(FileTimeToDosDateTime(&ft, &date, &time));
  EXPECT_EQ(date, (127 << 9) | (12 << 5) | 31);
  if (rt::testing::UnderWine()) return;  // Wine's conversion wraps the year instead
  for (FILETIME outside : {UtcFileTime(1979, 12, 31, 23, 59, 59), UtcFileTime(2108, 1, 1, 0, 0, 0)}) {
    EXPECT_FALSE(FileTimeToDosDateTime(&outside, &date, &time));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  }
}

#if !defined(_WIN32)

// Sets the time zone for the life of the object.
class TimeZone {
 public:
  explicit TimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~TimeZone() {
    if (old_) ::setenv("TZ", old_->c_str(), 1);
    else ::unsetenv("TZ");
    ::tzset();
  }

 private:
  std::optional<std::string> old_;
};

TEST(PlatformTimeTest, LocalFileTimeFollowsTheTimeZone) {
  FILETIME utc = UtcFileTime(2019, 5, 17, 5, 45, 31);
  FILETIME local;
  {
    TimeZone zone("CST-8");
    ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
    EXPECT_EQ(Ticks(local), Ticks(UtcFileTime(2019, 5, 17, 13, 45, 31)));
  }
  {
    // The offset in force at that moment: summer time in July, not in January.
    TimeZone zone("EST5EDT,M3.2.0,M11.1.0");
    FILETIME summer = UtcFileTime(2019, 7, 1, 12, 0, 0);
    ASSERT_TRUE(FileTimeToLocalFileTime(&summer, &local));
    EXPECT_EQ(Ticks(local), Ticks(UtcFileTime(2019, 7, 1, 8, 0, 0)));
    FILETIME winter = UtcFileTime(2019, 1, 1, 12, 0, 0);
    ASSERT_TRUE(FileTimeToLocalFileTime(&winter, &local));
    EXPECT_EQ(Ticks(local), Ticks(UtcFileTime(2019, 1, 1, 7, 0, 0)));
  }
  EXPECT_FALSE(FileTimeToLocalFileTime(nullptr, &local));
}

TEST(PlatformTimeTest, LocalTimeOfAFileAsADateTime) {
  // A file's last-access time, taken to local time and DOS resolution, as
  // the documents view compares it with the stored time.
  AnsiTestFolder folder;
  fs::path native = folder.Write(kShallow + ".doc", "x");
  TimeZone zone("CST-8");
  FILETIME access = UtcFileTime(2022, 12, 31, 20, 30, 45, 700);  // 2023-01-01 04:30:45 local
  std::int64_t ticks = static_cast<std::int64_t>(Ticks(access)) - 116444736000000000LL;
  timespec times[2] = {{static_cast<time_t>(ticks / 10000000), static_cast<long>(ticks % 10000000 * 100)},
                       {0, UTIME_OMIT}};
  ASSERT_EQ(::utimensat(AT_FDCWD, native.c_str(), times, 0), 0);
  WIN32_FIND_DATAA data;
  std::string path = folder.Ansi(kShallow + ".doc");
  HANDLE find = FindFirstFileA(path.c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  FindClose(find);
  FILETIME local;
  WORD date, time;
  ASSERT_TRUE(FileTimeToLocalFileTime(&data.ftLastAccessTime, &local));
  ASSERT_TRUE(FileTimeToDosDateTime(&local, &date, &time));
  rt::DateTime value =
      rt::FileDateToDateTime(static_cast<std::int32_t>((static_cast<std::uint32_t>(date) << 16) | time));
  EXPECT_EQ(value, rt::EncodeDateTime(2023, 1, 1, 4, 30, 44, 0));
}

#endif  // !_WIN32

TEST(PlatformMachineTest, ComputerNameAndCurrentDirectory) {
  char name[256];
  DWORD size = sizeof name;
  ASSERT_TRUE(GetComputerNameA(name, &size));
  EXPECT_GT(size, 0u);
  EXPECT_EQ(std::string(name).size(), size);
  DWORD small = 1;
  EXPECT_FALSE(GetComputerNameA(name, &small));
  EXPECT_EQ(GetLastError(), ERROR_BUFFER_OVERFLOW);
  EXPECT_EQ(small, size + 1);

  DWORD needed = GetCurrentDirectoryA(0, nullptr);
  ASSERT_GT(needed, 1u);
  std::string buffer(needed, '\0');
  EXPECT_EQ(GetCurrentDirectoryA(needed, buffer.data()), needed - 1);
  EXPECT_EQ(rt::platform::ToNativePath(buffer.c_str()), fs::current_path().string());
}

// The hosts' home without --home: on Windows in the user's profile, never
// in the folder a program runs in (the program folder, from the Start menu).
TEST(PlatformMachineTest, DefaultHomeFolder) {
#if defined(_WIN32)
  const std::optional<std::string> local = rt::testing::GetEnv("LOCALAPPDATA");
  ASSERT_TRUE(local.has_value());
  EXPECT_EQ(rt::platform::DefaultHomeFolder(), rt::platform::Utf8Path(*local) / "labdocs");
#else
  EXPECT_EQ(rt::platform::DefaultHomeFolder(), fs::current_path());
#endif
}

// The path contract: a GBK path, a path object and SQLite's UTF-8 name all
// name the same file, names with '\' trail bytes included.
TEST(PlatformPathTest, GbkPathsPathObjectsAndUtf8NamesAgree) {
  AnsiTestFolder folder;
  const struct {
    std::string gbk;
    std::string utf8;
  } names[] = {
      {kShallow + kCage + ".txt", u8"淺籠.txt"},
      {"32×32", u8"32×32"},
      {"报告 " + kShallow, u8"报告 淺"},
  };
  for (const auto& name : names) {
    SCOPED_TRACE(name.utf8);
    const std::string ansi = folder.Ansi(name.gbk);
    const fs::path native = rt::platform::NativePath(ansi);
    EXPECT_EQ(native, folder.Native() / rt::platform::Utf8Path(name.utf8));
    EXPECT_EQ(rt::platform::AnsiPath(native),
              ansi.substr(0, ansi.size() - name.gbk.size() - 1) + rt::platform::kPathDelimiter + name.gbk);
    EXPECT_EQ(rt::platform::PathUtf8(native),
              rt::platform::PathUtf8(folder.Native()) + rt::platform::kPathDelimiter + name.utf8);
    EXPECT_EQ(rt::platform::SqliteFileName(ansi), rt::platform::PathUtf8(native));
    // A file made through the path object is the one the ANSI functions see.
    folder.Write(name.gbk, "x");
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(ansi.c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    FindClose(find);
    EXPECT_EQ(std::string(data.cFileName), name.gbk);
  }
  EXPECT_THROW(rt::platform::NativePath("\x81"), rt::EConvertError);
}

}  // namespace
