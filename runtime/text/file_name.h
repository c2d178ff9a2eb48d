// The rule for the names of documents' files: what name a file may have in
// the document cache, on every system the store runs on. A name is safe when
// it names a file directly inside a folder, on Windows as well as on POSIX
// systems, and is not one the store keeps for its own temporary files.
#pragma once

#include <string>
#include <string_view>

namespace rt {

// The name made safe: every byte that cannot stand in a file name (a
// separator, a drive or stream colon, a wildcard, a quote, an angle bracket,
// a bar, a control character, a byte that starts or is no GBK character)
// becomes '_', as do dots and blanks at the end (Windows drops them); a
// device name of Windows (CON, NUL, COM1, CONIN$ ... with or without an
// extension, with or without blanks before it)
// and a name beginning with the store's temporary prefix get a leading '_';
// an empty name becomes "_". Double-byte characters stay whole, whatever
// their second byte (0x5C '\' and 0x7C '|' among them). Idempotent.
std::string SafeFileName(std::string_view gbk_name);

// True when the name is safe as it stands (SafeFileName leaves it alone).
bool IsSafeFileName(std::string_view gbk_name);

// The prefix of the store's temporary files in a cache folder.
inline constexpr std::string_view kTemporaryFilePrefix = "~labdoc-";

}  // namespace rt
