// C streams on files that other processes may rename, replace or delete
// while the stream is open. (A file that Windows' C library opens cannot be
// replaced until it is closed: a fetch placing a new copy would fail while
// another process reads the old one.)
#pragma once

#include <cstdio>
#include <string>

namespace rt::platform {

// Opens a file at a native path (see ToNativePath) for reading, or creates
// it (an existing one is emptied) for writing, in binary mode. Nullptr when
// it cannot, with errno telling why.
std::FILE* OpenStream(const std::string& native_path, bool for_writing);

}  // namespace rt::platform
