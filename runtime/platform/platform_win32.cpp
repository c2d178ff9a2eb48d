// What platform.h adds to the Windows services: on Windows the file
// functions take ANSI paths as they are; std::filesystem paths are wide,
// made through the ANSI code page (936) or UTF-8 explicitly.
#include "runtime/platform/platform.h"

#include <shlobj.h>

#include "runtime/errors.h"
#include "runtime/platform/wide.h"

namespace rt::platform {
namespace {

constexpr UINT kAnsiCodePage = 936;

}  // namespace

std::wstring Widen(unsigned code_page, std::string_view text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                    nullptr, 0);
  if (n <= 0) throw EConvertError("The text is not valid " + std::string(code_page == CP_UTF8 ? "UTF-8" : "GBK"));
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string Narrow(unsigned code_page, std::wstring_view wide) {
  if (wide.empty()) return {};
  const char* substitute = code_page == CP_UTF8 ? nullptr : "?";
  const int n = WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, substitute,
                                    nullptr);
  std::string text(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n, substitute, nullptr);
  return text;
}

std::string ToNativePath(std::string_view ansi_path) { return std::string(ansi_path); }

std::string FromNativePath(std::string_view native_path) { return std::string(native_path); }

std::string RuntimeFolder() {
  HMODULE self = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&RuntimeFolder), &self);
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
  const std::string file(path, n > 0 && n < MAX_PATH ? n : 0);
  return file.substr(0, file.find_last_of("\\/") + 1);
}

std::filesystem::path DefaultHomeFolder() {
  wchar_t folder[MAX_PATH];
  if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK)
    throw Exception("The user's local application data folder (%LOCALAPPDATA%) is unknown: give a home folder");
  return std::filesystem::path(folder) / L"labdocs";
}

std::filesystem::path NativePath(std::string_view ansi_path) {
  return std::filesystem::path(Widen(kAnsiCodePage, ansi_path));
}

std::string AnsiPath(const std::filesystem::path& path) { return Narrow(kAnsiCodePage, path.native()); }

std::filesystem::path Utf8Path(std::string_view utf8_path) { return std::filesystem::path(Widen(CP_UTF8, utf8_path)); }

std::string PathUtf8(const std::filesystem::path& path) { return Narrow(CP_UTF8, path.native()); }

std::string SqliteFileName(std::string_view ansi_path) { return Narrow(CP_UTF8, Widen(kAnsiCodePage, ansi_path)); }

}  // namespace rt::platform
