// Text as the terminal shows it: GBK turned into UTF-8 (only here, where the
// system meets the terminal), and the width that a UTF-8 terminal gives a
// text, in columns: East Asian wide and full-width characters take two,
// combining marks none, everything else one.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace console {

// GBK to UTF-8 for showing. Never fails: a byte that does not start a valid
// GBK character is shown as '?'.
std::string ToTerminal(std::string_view gbk);

// Control characters made visible on one line: line feed as "\n", carriage
// return as "\r", tab as "\t", any other byte below 32 and DEL as "\xNN".
// Works on GBK or UTF-8 alike (no byte of a multi-byte character is below 64).
std::string OneLine(std::string_view text);

// The number of terminal columns a code point takes: 0, 1 or 2.
int CodePointWidth(char32_t code_point);

// The number of terminal columns a UTF-8 text takes. A byte that is not
// valid UTF-8 counts as one column.
std::size_t DisplayWidth(std::string_view utf8);

// The longest start of a UTF-8 text that fits into max_width columns; when
// the text had to be cut, the result ends with "~" and still fits.
std::string FitWidth(std::string_view utf8, std::size_t max_width);

// The text followed by blanks up to the given width (unchanged when wider).
std::string PadRight(std::string_view utf8, std::size_t width);

}  // namespace console
