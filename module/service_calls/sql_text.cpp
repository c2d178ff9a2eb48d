#include "module/service_calls/sql_text.h"

#include <charconv>

#include "runtime/errors.h"
#include "runtime/text/gbk.h"

namespace labdocs {

std::string QuoteEscaped(std::string_view value) {
  // A quote byte (0x27) is never the second byte of a GBK character, so
  // doubling every one is safe for double-byte text.
  std::string escaped;
  escaped.reserve(value.size());
  for (char c : value) {
    escaped += c;
    if (c == '\'') escaped += '\'';
  }
  return escaped;
}

std::string Quoted(std::string_view value) { return "'" + QuoteEscaped(value) + "'"; }

std::string BareInteger(std::string_view value) {
  std::string_view text = rt::gbk::Trim(value);
  long long number = 0;
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  if (!text.empty() && *begin == '+' && text.size() > 1 && text[1] != '-') ++begin;
  auto [stop, error] = std::from_chars(begin, end, number);
  if (text.empty() || error != std::errc() || stop != end)
    throw rt::EConvertError("'" + std::string(value) + "' is not a valid integer value");
  return std::to_string(number);
}

}  // namespace labdocs
