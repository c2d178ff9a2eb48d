// Every Windows program and library of the system carries the project's
// version in its version resource (cmake/version.rc.in), as Explorer's
// properties and installers read it.
#include <windows.h>
#include <winver.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/platform/testing/test_support.h"

namespace {

// A text of the resource's U.S. English string table, or "" when it has none.
std::wstring Text(const std::vector<char>& resource, const std::wstring& name) {
  const std::wstring key = L"\\StringFileInfo\\040904b0\\" + name;
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(resource.data(), key.c_str(), &value, &length) || length == 0) return {};
  return static_cast<const wchar_t*>(value);
}

TEST(VersionResource, EveryBinaryCarriesTheProjectVersion) {
  const std::string version = LABDOCS_PROJECT_VERSION;
  const std::wstring wide_version(version.begin(), version.end());
  for (const char* file : {"labdocs-console.exe", "labdocs-admin.exe", "labdocs-desktop.exe", "hostrt.dll",
                           "hostrt_server.dll", "labdocs.dll", "LAB_DOC.dll"}) {
    SCOPED_TRACE(file);
    const std::wstring path = (rt::testing::BinaryFolder() / file).wstring();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_NE(size, 0u) << "no version resource";
    std::vector<char> resource(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, resource.data()));

    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(resource.data(), L"\\", &value, &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    const std::string numbers =
        std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
        std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(numbers, version + ".0");
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);

    EXPECT_EQ(Text(resource, L"FileVersion"), wide_version);
    EXPECT_EQ(Text(resource, L"ProductVersion"), wide_version);
    const std::string name = file;
    EXPECT_EQ(Text(resource, L"OriginalFilename"), std::wstring(name.begin(), name.end()));
  }
}

}  // namespace
