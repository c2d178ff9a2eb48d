#include "hostcore/param_text_writer.h"

#include "runtime/errors.h"

namespace hostcore {
namespace {

// True for a byte at which the reader would end an unquoted item, or which
// would start a quoted one. None of these is ever the second byte of a GBK
// character (those are 0x40 and above), so looking at bytes is safe.
bool NeedsQuotes(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte <= 32 || c == ';' || c == '"';
}

}  // namespace

std::string ParamTextItem(std::string_view key, std::string_view value) {
  for (char c : key)
    if (c == '=' || c == '\0')
      throw rt::EConvertError("A parameter key cannot hold '=' or a NUL byte: " + std::string(key));
  std::string item;
  item.reserve(key.size() + value.size() + 1);
  item.append(key);
  item += '=';
  for (char c : value)
    if (c != '\0') item += c;

  bool quote = false;
  for (char c : item) quote = quote || NeedsQuotes(c);
  if (!quote) return item;

  std::string quoted = "\"";
  for (char c : item) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string BuildParamText(const std::vector<std::pair<std::string, std::string>>& items) {
  std::string text;
  for (const auto& [key, value] : items) {
    if (!text.empty()) text += ';';
    text += ParamTextItem(key, value);
  }
  return text;
}

}  // namespace hostcore
