// Fuzzes the rule for the names of documents' files (rt::SafeFileName), the
// one rule by which the store names what it stores and what it fetches.
// Besides not crashing, every run checks that the safe name:
//  - is a fixed point of the rule, and IsSafeFileName holds for it exactly;
//  - holds, outside double-byte characters, no separator, colon, wildcard,
//    quote, angle bracket, bar, control byte or byte that is no GBK
//    character, so it names a file directly inside the cache folder;
//  - is not empty, ".", "..", does not end in a dot or blank, is no device
//    name and does not take the store's temporary-file prefix;
//  - keeps every double-byte character of the input, in order, and is as
//    long as the input or one byte longer (the leading '_').
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "runtime/text/file_name.h"
#include "runtime/text/gbk.h"

namespace {

void Check(bool condition, const char* property) {
  if (!condition) {
    std::fprintf(stderr, "stored name property violated: %s\n", property);
    std::abort();
  }
}

std::string DoubleByteCharacters(std::string_view text) {
  std::string found;
  for (std::size_t i = 0; i < text.size(); i += rt::gbk::CharLength(text, i))
    if (rt::gbk::CharLength(text, i) == 2) found.append(text.substr(i, 2));
  return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string name(reinterpret_cast<const char*>(data), size);
  const std::string safe = rt::SafeFileName(name);

  Check(rt::SafeFileName(safe) == safe, "the rule is idempotent");
  Check(rt::IsSafeFileName(safe), "a safe name is safe");
  Check(rt::IsSafeFileName(name) == (safe == name), "IsSafeFileName is the rule's fixed point");
  Check(!safe.empty() && safe != "." && safe != "..", "not empty, '.' or '..'");
  Check(safe.back() != '.' && safe.back() != ' ', "no trailing dot or blank");
  Check(safe.size() == name.size() || (safe.size() == name.size() + 1 && safe.front() == '_') ||
            (name.empty() && safe == "_"),
        "same length, or one leading '_' more");
  for (std::size_t i = 0; i < safe.size(); i += rt::gbk::CharLength(safe, i)) {
    if (rt::gbk::CharLength(safe, i) == 2) continue;
    const auto c = static_cast<unsigned char>(safe[i]);
    Check(c >= 0x20 && c != 0x7F && c != 0x80 && c != 0xFF && !rt::gbk::IsLeadByte(c), "no control or stray byte");
    Check(std::string_view("\\/:*?\"<>|").find(static_cast<char>(c)) == std::string_view::npos,
          "no separator, colon, wildcard, quote, angle bracket or bar");
  }
  Check(rt::gbk::UpperCase(safe.substr(0, rt::kTemporaryFilePrefix.size())) !=
            rt::gbk::UpperCase(rt::kTemporaryFilePrefix),
        "not the temporary-file prefix");
  const std::string stem = rt::gbk::UpperCase(safe.substr(0, safe.find('.')));
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "COM1", "COM9", "LPT1", "LPT9"})
    Check(stem != device, "no device name");
  Check(DoubleByteCharacters(safe) == DoubleByteCharacters(name) ||
            (safe.front() == '_' && DoubleByteCharacters(safe.substr(1)) == DoubleByteCharacters(name)),
        "double-byte characters kept in order");
  return 0;
}
