// Paths on POSIX systems: ANSI (GBK) paths with either separator as the
// native UTF-8 paths of the system (platform.h's rt::platform functions), and
// the path arguments of the Windows services.
#include "runtime/platform/platform.h"

#include <string>

#include "runtime/errors.h"
#include "runtime/platform/posix_internal.h"
#include "runtime/text/gbk.h"

namespace rt::platform {

std::string ToNativePath(std::string_view ansi_path) {
  // After the conversion to UTF-8 no byte of a multi-byte character is an
  // ASCII byte, so every '\' left is a separator.
  std::string utf8 = gbk::ToUtf8(ansi_path);
  std::string out;
  out.reserve(utf8.size());
  for (char c : utf8) {
    if (c == '\\') c = '/';
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out.push_back(c);
  }
  return out;
}

std::string FromNativePath(std::string_view native_path) { return gbk::FromUtf8(native_path); }

// Native paths are UTF-8 texts, which std::filesystem takes as they are.
std::filesystem::path NativePath(std::string_view ansi_path) { return std::filesystem::path(ToNativePath(ansi_path)); }

std::string AnsiPath(const std::filesystem::path& path) { return FromNativePath(path.native()); }

std::filesystem::path Utf8Path(std::string_view utf8_path) { return std::filesystem::path(std::string(utf8_path)); }

std::string PathUtf8(const std::filesystem::path& path) { return path.native(); }

std::string SqliteFileName(std::string_view ansi_path) { return ToNativePath(ansi_path); }

namespace posix {

std::string ParentOf(const std::string& native) {
  std::size_t slash = native.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return native.substr(0, slash);
}

bool Native(LPCSTR ansi_path, std::string& native) {
  if (ansi_path == nullptr) return Fail(ERROR_PATH_NOT_FOUND, false);
  try {
    native = ToNativePath(ansi_path);
  } catch (const rt::EConvertError&) {
    return Fail(ERROR_INVALID_NAME, false);
  }
  if (native.empty()) return Fail(ERROR_PATH_NOT_FOUND, false);
  return true;
}

}  // namespace posix

std::filesystem::path DefaultHomeFolder() {
  std::error_code error;
  std::filesystem::path folder = std::filesystem::current_path(error);
  if (error) throw rt::Exception("The current folder cannot be found: " + error.message());
  return folder;
}

}  // namespace rt::platform
