// Paths on Windows (platform.h's rt::platform functions): the file functions
// take ANSI paths as they are; std::filesystem paths are wide, made through
// the ANSI code page (936) or UTF-8 explicitly.
#include "runtime/platform/platform.h"

#include <shlobj.h>

#include "runtime/errors.h"
#include "runtime/platform/wide.h"

namespace rt::platform {
namespace {

constexpr UINT kAnsiCodePage = 936;

}  // namespace

std::string ToNativePath(std::string_view ansi_path) { return std::string(ansi_path); }

std::string FromNativePath(std::string_view native_path) { return std::string(native_path); }

std::filesystem::path NativePath(std::string_view ansi_path) {
  return std::filesystem::path(Widen(kAnsiCodePage, ansi_path));
}

std::string AnsiPath(const std::filesystem::path& path) { return Narrow(kAnsiCodePage, path.native()); }

std::filesystem::path Utf8Path(std::string_view utf8_path) { return std::filesystem::path(Widen(CP_UTF8, utf8_path)); }

std::string PathUtf8(const std::filesystem::path& path) { return Narrow(CP_UTF8, path.native()); }

std::string SqliteFileName(std::string_view ansi_path) { return Narrow(CP_UTF8, Widen(kAnsiCodePage, ansi_path)); }

std::filesystem::path DefaultHomeFolder() {
  wchar_t folder[MAX_PATH];
  if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK)
    throw Exception("The user's local application data folder (%LOCALAPPDATA%) is unknown: give a home folder");
  return std::filesystem::path(folder) / L"labdocs";
}

}  // namespace rt::platform
