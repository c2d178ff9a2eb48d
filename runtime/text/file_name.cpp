#include "runtime/text/file_name.h"

#include <array>

#include "runtime/text/gbk.h"

namespace rt {
namespace {

bool IsForbiddenByte(unsigned char c) {
  if (c < 0x20 || c == 0x7F || c == 0x80 || c == 0xFF) return true;
  return std::string_view("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos;
}

// CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$: Windows takes such a
// name for a device, with any extension and with blanks before the extension
// ("NUL .txt"), which it drops as it drops them at a name's end.
bool IsDeviceName(std::string_view name) {
  std::string_view stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  const std::string upper = gbk::UpperCase(stem);
  static constexpr std::array<std::string_view, 6> kPlain = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (std::string_view device : kPlain)
    if (upper == device) return true;
  return upper.size() == 4 && (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0) && upper[3] >= '1' &&
         upper[3] <= '9';
}

}  // namespace

std::string SafeFileName(std::string_view gbk_name) {
  std::string safe;
  safe.reserve(gbk_name.size() + 1);
  for (std::size_t i = 0; i < gbk_name.size();) {
    const std::size_t length = gbk::CharLength(gbk_name, i);
    const auto c = static_cast<unsigned char>(gbk_name[i]);
    if (length == 2) safe.append(gbk_name.substr(i, 2));
    else safe.push_back(IsForbiddenByte(c) || gbk::IsLeadByte(c) ? '_' : static_cast<char>(c));
    i += length;
  }
  // Trailing dots and blanks are single bytes, never part of a double-byte
  // character, so they can be replaced from the end.
  for (auto it = safe.rbegin(); it != safe.rend() && (*it == '.' || *it == ' '); ++it) *it = '_';
  if (safe.empty()) return "_";
  if (IsDeviceName(safe) ||
      gbk::UpperCase(safe.substr(0, kTemporaryFilePrefix.size())) == gbk::UpperCase(kTemporaryFilePrefix))
    safe.insert(safe.begin(), '_');
  return safe;
}

bool IsSafeFileName(std::string_view gbk_name) { return SafeFileName(gbk_name) == gbk_name; }

}  // namespace rt
