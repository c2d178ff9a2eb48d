// LoadLibraryA on POSIX systems: a Windows library name finds the shared
// library "X.so" or "libX.so", also in a folder with a GBK name.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "runtime/platform/ansi_test_folder.h"
#include "runtime/platform/platform.h"
#include "runtime/text/gbk.h"

namespace {

using rt::testing::AnsiTestFolder;
namespace fs = std::filesystem;

using rt::testing::kCage;
using rt::testing::kShallow;

fs::path BinFolder() { return fs::read_symlink("/proc/self/exe").parent_path(); }

using AddFunction = int (*)(int, int);

TEST(PlatformLibraryTest, LoadsByWindowsName) {
  HMODULE module = LoadLibraryA("rtplatformtest.dll");
  ASSERT_NE(module, nullptr) << "rtplatformtest.so should be found beside the test program";
  FARPROC proc = GetProcAddress(module, "RtTestAdd");
  ASSERT_NE(proc, nullptr);
  EXPECT_EQ(rt::platform::ProcAs<AddFunction>(proc)(20, 22), 42);
  EXPECT_EQ(GetProcAddress(module, "RtTestMissing"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  EXPECT_TRUE(FreeLibrary(module));

  // Without an extension the name means the same library.
  module = LoadLibraryA("rtplatformtest");
  ASSERT_NE(module, nullptr);
  EXPECT_TRUE(FreeLibrary(module));

  EXPECT_EQ(LoadLibraryA("labdocs_no_such_library.dll"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  EXPECT_EQ(GetProcAddress(nullptr, "RtTestAdd"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(PlatformLibraryTest, LoadsFromAFolderWithTheLibPrefix) {
  AnsiTestFolder folder;
  std::string plugin = "插件" + kShallow;
  ASSERT_TRUE(CreateDirectoryA(folder.Ansi(kCage).c_str(), nullptr));
  fs::copy_file(BinFolder() / "rtplatformtest.so", folder.Native(kCage + "\\lib" + plugin + ".so"));
  fs::copy_file(BinFolder() / "rtplatformtest.so", folder.Native(kCage + "\\" + kShallow + ".so"));

  for (const std::string& name : {plugin, kShallow}) {
    std::string path = folder.Ansi(kCage + "\\" + name + ".dll");
    HMODULE module = LoadLibraryA(path.c_str());
    ASSERT_NE(module, nullptr) << rt::gbk::ToUtf8(path);
    FARPROC proc = GetProcAddress(module, "RtTestAdd");
    ASSERT_NE(proc, nullptr);
    EXPECT_EQ(rt::platform::ProcAs<AddFunction>(proc)(1, 2), 3);
    EXPECT_TRUE(FreeLibrary(module));
  }
  std::string absent = folder.Ansi(kCage + "\\缺少.dll");
  EXPECT_EQ(LoadLibraryA(absent.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
}

}  // namespace
