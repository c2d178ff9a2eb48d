// Reading of parameter texts: the key=value lists through which the host
// describes a tree node, and which the first column of a selected row holds
// (for example "TV_ID=12;TV_Name=<name>;Icon=doc.ico").
//
// A text is read as a list of items:
//  - An item ends at ';' or at any byte of code 1 to 32. Such bytes are
//    skipped before the first item, after each item and after each ';', so a
//    blank ends an item exactly as ';' does.
//  - An item that begins with '"' runs to the next '"' that is not doubled;
//    "" inside it stands for one '"', and the enclosing quotes are dropped.
//    An unterminated quoted item runs to the end of the text. A quote
//    elsewhere in an item is an ordinary byte.
//  - Two ';' with nothing but bytes 1..32 between them, a ';' at the very
//    start of the text (after leading blanks), and a ';' that is the very
//    last byte of the text give empty items.
//  - The text ends at its first NUL byte, as the zero-terminated texts of
//    the host do.
// An item's key is its text before the first '=', its value everything
// after that '='. An item without '=' has no key and matches nothing.
//
// Texts are GBK. Splitting works on bytes, which is safe: every byte that it
// looks for lies below 0x40 and so is never the second byte of a double-byte
// character.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace labdocs {

// The items of a parameter text, in order.
std::vector<std::string> SplitParamText(std::string_view text);

// The value of the first item whose key equals key without regard to the
// case of ASCII letters (the bytes of double-byte characters compare
// exactly), with leading and trailing bytes of code 0 to 32 removed; the
// empty text when no item has that key. The key is compared as given,
// untrimmed; an empty key matches an item such as "=x". Never fails.
std::string ParamTextValue(std::string_view text, std::string_view key);

// True when a and b are equal without regard to the case of ASCII letters,
// the bytes of double-byte GBK characters compared exactly.
bool SameParamKey(std::string_view a, std::string_view b);

}  // namespace labdocs
