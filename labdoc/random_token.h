// Names that no other process picks at the same time: the store's temporary
// files and the owners of pending contents are named by 16 lower-case
// hexadecimal digits of a random 64-bit number.
#pragma once

#include <string>
#include <string_view>

namespace labdocs::labdoc {

inline constexpr std::size_t kTokenLength = 16;

// A new token.
std::string RandomToken();

// True for a text of exactly kTokenLength hexadecimal digits (either case).
bool IsToken(std::string_view text);

}  // namespace labdocs::labdoc
