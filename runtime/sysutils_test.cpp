#include "runtime/sysutils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <filesystem>

#include "runtime/errors.h"
#include "runtime/platform/ansi_test_folder.h"
#include "runtime/platform/testing/test_support.h"

namespace {

using rt::testing::AnsiTestFolder;

using rt::testing::kCage;
using rt::testing::kShallow;

TEST(SysUtilsPathTest, PartsOfAPath) {
  EXPECT_EQ(rt::ExtractFileName("D:\\lab\\2019\\report.doc"), "report.doc");
  EXPECT_EQ(rt::ExtractFilePath("D:\\lab\\2019\\report.doc"), "D:\\lab\\2019\\");
  EXPECT_EQ(rt::ExtractFileExt("D:\\lab\\2019\\report.doc"), ".doc");
  EXPECT_EQ(rt::ExtractFileName("/srv/lab/a.pdf"), "a.pdf");
  EXPECT_EQ(rt::ExtractFileName("report.doc"), "report.doc");
  EXPECT_EQ(rt::ExtractFilePath("report.doc"), "");
  EXPECT_EQ(rt::ExtractFileName("D:\\lab\\"), "");

  // A name that ends in a character whose second byte is '\' is one name.
  std::string name = "文件" + kShallow;
  EXPECT_EQ(rt::ExtractFileName("D:\\" + kCage + "\\" + name), name);
  EXPECT_EQ(rt::ExtractFilePath("D:\\" + kCage + "\\" + name), "D:\\" + kCage + "\\");
  EXPECT_EQ(rt::ExtractFileName(kShallow), kShallow);
  EXPECT_EQ(rt::ExtractFilePath(kShallow + kCage), "");
  EXPECT_EQ(rt::ExtractFileExt(kShallow + "\\" + kCage + ".DOC"), ".DOC");
}

TEST(SysUtilsPathTest, ExtensionsBelongToTheFileName) {
  EXPECT_EQ(rt::ExtractFileExt("D:\\lab.v2\\report"), "");
  EXPECT_EQ(rt::ExtractFileExt("D:\\lab\\archive.tar.gz"), ".gz");
  EXPECT_EQ(rt::ExtractFileExt("report."), ".");
  EXPECT_EQ(rt::ExtractFileExt(""), "");
  EXPECT_EQ(rt::ExtractFileExt(kShallow + ".x\\" + kCage), "");
}

TEST(SysUtilsPathTest, TrailingDelimiter) {
  const std::string sep(1, rt::platform::kPathDelimiter);
  EXPECT_EQ(rt::IncludeTrailingPathDelimiter("C:\\base\\"), "C:\\base\\");
  EXPECT_EQ(rt::IncludeTrailingPathDelimiter("/srv/base/"), "/srv/base/");
  EXPECT_EQ(rt::IncludeTrailingPathDelimiter("/srv/base"), "/srv/base" + sep);
  // The last byte is '\' but it is part of a character, not a delimiter.
  EXPECT_EQ(rt::IncludeTrailingPathDelimiter("/srv/" + kShallow), "/srv/" + kShallow + sep);
  EXPECT_EQ(rt::IncludeTrailingPathDelimiter(""), sep);
}

TEST(SysUtilsFileTest, ForceDirectoriesCreatesEveryLevel) {
  AnsiTestFolder folder;
  // Doubled separators and names ending in a 0x5C trail byte.
  std::string deep = folder.Ansi(kShallow + "\\\\" + kCage + "\\目录" + kShallow + "\\");
  EXPECT_FALSE(rt::DirectoryExists(deep));
  ASSERT_TRUE(rt::ForceDirectories(deep));
  EXPECT_TRUE(rt::DirectoryExists(deep));
  EXPECT_TRUE(std::filesystem::is_directory(folder.Native() / rt::testing::Utf8Path(u8"淺") /
                                            rt::testing::Utf8Path(u8"籠") / rt::testing::Utf8Path(u8"目录淺")));
  EXPECT_FALSE(rt::FileExists(deep));
  EXPECT_TRUE(rt::ForceDirectories(deep));  // already there

  folder.Write(kShallow + "\\file.txt", "x");
  EXPECT_TRUE(rt::FileExists(folder.Ansi(kShallow + "\\file.txt")));
  EXPECT_FALSE(rt::DirectoryExists(folder.Ansi(kShallow + "\\file.txt")));
  // A file where a folder should be.
  EXPECT_FALSE(rt::ForceDirectories(folder.Ansi(kShallow + "\\file.txt\\sub")));
  EXPECT_FALSE(rt::ForceDirectories(""));
  EXPECT_FALSE(rt::FileExists(folder.Ansi("missing.txt")));
}

TEST(SysUtilsFileTest, ReadFileBytes) {
  AnsiTestFolder folder;
  folder.Write(kCage + ".bin", std::string("a\0b\xff", 4));
  std::vector<std::uint8_t> bytes = rt::ReadFileBytes(folder.Ansi(kCage + ".bin"));
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{'a', 0, 'b', 0xff}));
  EXPECT_THROW(rt::ReadFileBytes(folder.Ansi("missing.bin")), rt::Exception);
  EXPECT_THROW(rt::ReadFileBytes(folder.Ansi()), rt::Exception);
}

TEST(SysUtilsNumberTest, Integers) {
  EXPECT_EQ(rt::StrToInt("123"), 123);
  EXPECT_EQ(rt::StrToInt("-45"), -45);
  EXPECT_EQ(rt::StrToInt("+7"), 7);
  EXPECT_EQ(rt::StrToInt("007"), 7);
  EXPECT_EQ(rt::StrToInt("2147483647"), 2147483647);
  EXPECT_EQ(rt::StrToInt("-2147483648"), -2147483647 - 1);

  for (const char* bad :
       {"", "-", "+", "2147483648", "-2147483649", "99999999999999999999", "12a", " 1", "1 ", "0x10", "1.5"}) {
    int value = 99;
    EXPECT_FALSE(rt::TryStrToInt(bad, value)) << bad;
    EXPECT_EQ(value, 99);
    EXPECT_EQ(rt::StrToIntDef(bad, -1), -1);
  }
  try {
    rt::StrToInt("abc");
    FAIL() << "no error";
  } catch (const rt::EConvertError& error) {
    EXPECT_STREQ(error.what(), "'abc' is not a valid integer value");
  }
}

TEST(SysUtilsDateTest, EncodeAndDecode) {
  rt::DateTime value = rt::EncodeDateTime(2019, 5, 17, 13, 45, 30, 250);
  rt::DateTimeParts parts = rt::DecodeDateTime(value);
  EXPECT_EQ(parts, (rt::DateTimeParts{2019, 5, 17, 13, 45, 30, 250}));
  EXPECT_EQ(rt::EncodeDateTime(1899, 12, 30, 0, 0, 0, 0).days, 0);
  EXPECT_EQ(rt::EncodeDateTime(1900, 1, 1, 12, 0, 0, 0).days, 2.5);
  EXPECT_EQ(rt::EncodeDateTime(1899, 12, 29, 6, 0, 0, 0).days, -1.25);
  EXPECT_THROW(rt::EncodeDateTime(2019, 2, 29, 0, 0, 0, 0), rt::EConvertError);
  EXPECT_THROW(rt::EncodeDateTime(2019, 1, 1, 24, 0, 0, 0), rt::EConvertError);
}

TEST(SysUtilsDateTest, DosFileDates) {
  // 2019-05-17 13:45:30: date (39 << 9 | 5 << 5 | 17), time (13 << 11 | 45 << 5 | 15).
  std::uint32_t dos = ((39u << 9 | 5u << 5 | 17u) << 16) | (13u << 11 | 45u << 5 | 15u);
  EXPECT_EQ(rt::FileDateToDateTime(static_cast<std::int32_t>(dos)), rt::EncodeDateTime(2019, 5, 17, 13, 45, 30, 0));
  // The largest date: 2107-12-31 23:59:58, with the top bit set.
  std::uint32_t last = ((127u << 9 | 12u << 5 | 31u) << 16) | (23u << 11 | 59u << 5 | 29u);
  EXPECT_EQ(rt::FileDateToDateTime(static_cast<std::int32_t>(last)), rt::EncodeDateTime(2107, 12, 31, 23, 59, 58, 0));
  // Month 0 and second 60 do not exist.
  EXPECT_THROW(rt::FileDateToDateTime(static_cast<std::int32_t>((39u << 9 | 0u << 5 | 17u) << 16)), rt::EConvertError);
  EXPECT_THROW(rt::FileDateToDateTime(static_cast<std::int32_t>(((39u << 9 | 1u << 5 | 1u) << 16) | 30u)),
               rt::EConvertError);
}

TEST(SysUtilsDateTest, NowIsTheLocalTime) {
  std::time_t seconds = std::time(nullptr);
  std::tm local = *std::localtime(&seconds);
  rt::DateTime expected = rt::EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                             local.tm_min, local.tm_sec, 0);
  EXPECT_LT(std::fabs(rt::Now().days - expected.days), 3.0 / 86400);
}

}  // namespace
