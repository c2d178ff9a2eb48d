#!/usr/bin/env bash
# Checks that a shared library exports exactly the given names, undecorated:
#   tools/check-exports.sh LIBRARY NAME...
# An ELF library by its dynamic symbol table (nm -D), a Windows DLL by its
# export table (objdump -p), where a standard-call name would otherwise
# carry its '@N' decoration.
set -euo pipefail
library="$1"
shift
case "$library" in
  *.dll)
    objdump=objdump
    command -v i686-w64-mingw32-objdump >/dev/null && objdump=i686-w64-mingw32-objdump
    table="$("$objdump" -p "$library")"
    grep -q '^\[Ordinal/Name Pointer\] Table' <<<"$table" || { echo "$library has no export table" >&2; exit 1; }
    actual="$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$table" | sed -n 's/^\s*\[ *[0-9]*\] //p' |
              sort | tr '\n' ' ')"
    ;;
  *)
    actual="$(nm -D --defined-only "$library" | awk '{print $3}' | sort | tr '\n' ' ')"
    ;;
esac
expected="$(printf '%s\n' "$@" | sort | tr '\n' ' ')"
if [ "$actual" != "$expected" ]; then
  echo "$library exports: $actual" >&2
  echo "expected:       $expected" >&2
  exit 1
fi
echo "$library exports exactly: $actual"
