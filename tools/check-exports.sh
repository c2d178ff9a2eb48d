#!/usr/bin/env bash
# Checks that a shared library's dynamic symbol table defines exactly the
# given names:  tools/check-exports.sh LIBRARY NAME...
set -euo pipefail
library="$1"
shift
actual="$(nm -D --defined-only "$library" | awk '{print $3}' | sort | tr '\n' ' ')"
expected="$(printf '%s\n' "$@" | sort | tr '\n' ' ')"
if [ "$actual" != "$expected" ]; then
  echo "$library exports: $actual" >&2
  echo "expected:       $expected" >&2
  exit 1
fi
echo "$library exports exactly: $actual"
