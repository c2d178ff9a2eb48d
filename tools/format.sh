#!/usr/bin/env bash
# Lays out the tracked C and C++ sources by .clang-format:
#   tools/format.sh            rewrites every file that differs
#   tools/format.sh --check    changes nothing; names each file that differs
#                              (with its first line that does) and ends with
#                              1 when there is any
#   tools/format.sh [--check] FILE...   only the files given (paths from
#                              the repository's root)
# Needs clang-format 14, as Debian 12 has it (tools/deps.sh format): other
# versions lay some lines out otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."

check=false
if [ "${1:-}" = --check ]; then
  check=true
  shift
fi
command -v clang-format >/dev/null || { echo "tools/format.sh: clang-format is missing (tools/deps.sh format)" >&2; exit 2; }
version="$(clang-format --version | sed -n 's/.*version \([0-9]*\)\..*/\1/p')"
[ "$version" = 14 ] || echo "tools/format.sh: clang-format ${version:-of an unknown version}, not 14: some lines may come out otherwise" >&2

files=("$@")
[ "${#files[@]}" -gt 0 ] || mapfile -t files < <(git ls-files -- '*.c' '*.cpp' '*.h')

if ! $check; then
  clang-format -i --style=file -- "${files[@]}"
  exit 0
fi
# One complaint per file that differs: "FILE:LINE:COLUMN: error: ...".
if ! complaints="$(clang-format --dry-run --Werror --ferror-limit=1 --style=file -- "${files[@]}" 2>&1)"; then
  grep -o '^[^:]*:[0-9]*:[0-9]*: error' <<<"$complaints" | sed 's/: error$//' || echo "$complaints"
  echo "tools/format.sh: these files are not laid out by .clang-format (first line that differs); tools/format.sh FILE... lays them out" >&2
  exit 1
fi
