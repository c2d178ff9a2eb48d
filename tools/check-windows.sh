#!/usr/bin/env bash
# Compiles every source of the runtime, the plug-in and the document store
# for 32-bit Windows (MinGW-w64, i686) without linking: the Windows side of
# the platform layer, the VARIANT layout and the exported functions' calling
# convention are checked on every change. The store's digest needs a Windows
# build of OpenSSL and is left out.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

compiler=i686-w64-mingw32-g++-posix
command -v "$compiler" >/dev/null || { echo "$compiler is not installed (tools/deps.sh installs it)" >&2; exit 1; }

# SQLite's header is the same on every system.
include="$(mktemp -d)"
trap 'rm -rf "$include"' EXIT
cp /usr/include/sqlite3.h /usr/include/sqlite3ext.h "$include/"

mapfile -t sources < <(find runtime module labdoc -name '*.cpp' ! -name '*_test.cpp' ! -name '*_posix.cpp' \
                         ! -path '*/testing/*' ! -name 'sha256.cpp' | sort)
printf '%s\n' "${sources[@]}" |
  xargs -P 2 -I{} "$compiler" -std=c++20 -fsyntax-only -I. -isystem "$include" \
    -finput-charset=UTF-8 -fexec-charset=GB18030 -fno-char8_t \
    -Wall -Wextra -Wpedantic -Wshadow -Wold-style-cast -Werror {}
echo "${#sources[@]} sources compile for i686 Windows"
