#include "runtime/text/file_name.h"

#include <array>

#include "runtime/text/gbk.h"

namespace rt {
namespace {

bool IsForbiddenByte(unsigned char c) {
  if (c < 0x20 || c == 0x7F || c == 0x80 || c == 0xFF) return true;
  return std::string_view("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos;
}

// CON, PRN, AUX, NUL, COM1-9, LPT1-9: Windows takes such a name, with any
// extension, for a device.
bool IsDeviceName(std::string_view name) {
  const std::string stem = gbk::UpperCase(name.substr(0, name.find('.')));
  static constexpr std::array<std::string_view, 4> kPlain = {"CON", "PRN", "AUX", "NUL"};
  for (std::string_view device : kPlain)
    if (stem == device) return true;
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '1' &&
         stem[3] <= '9';
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
  if (IsDeviceName(safe) || gbk::UpperCase(safe.substr(0, kTemporaryFilePrefix.size())) ==
                                gbk::UpperCase(kTemporaryFilePrefix))
    safe.insert(safe.begin(), '_');
  return safe;
}

bool IsSafeFileName(std::string_view gbk_name) { return SafeFileName(gbk_name) == gbk_name; }

}  // namespace rt
