#!/usr/bin/env bash
# The Windows stage: builds the 32-bit Windows DLLs, the console and the test
# programs with MinGW-w64 (the windows preset, build/windows), then runs the
# same CTest tests under Wine in a fresh 32-bit prefix inside the build tree,
# with zh_CN.UTF-8 so that the ANSI code page is 936, and one wine server
# kept running for the whole run.
#
#   tools/test-windows.sh          build and run every test
#   tools/test-windows.sh --build  build only
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

build_only=false
[ "${1:-}" = "--build" ] && build_only=true

started=$SECONDS
if $build_only; then tools/deps.sh windows; else tools/deps.sh windows wine postgres; fi
cmake --preset windows
cmake --build --preset windows --parallel 2
echo "Windows build: $((SECONDS - started)) s"
$build_only && exit 0

export WINEARCH=win32
export WINEPREFIX="$PWD/build/windows/wineprefix"
export WINEDEBUG=-all
export LANG=zh_CN.UTF-8
unset LC_ALL
# No desktop: Wine's own windows never need a display here.
unset DISPLAY WAYLAND_DISPLAY

wineserver --kill >/dev/null 2>&1 || true
rm -rf "$WINEPREFIX"
wineboot --init >/dev/null 2>&1
# The server that made the prefix goes first; one that stays replaces it.
wineserver --wait
wineserver --persistent
trap 'wineserver --kill >/dev/null 2>&1 || true' EXIT

# A recording opener for the tests of ShellExecuteA: files of the test-only
# type .labdocs-test, and of the types the tests' documents have, open with a
# program that appends the path it is given to the file that
# LABDOCS_TEST_OPEN_RECORD names (rt::testing::RecordingOpener).
for type in .labdocs-test .doc .xls .pdf .txt .csv; do
  wine reg add "HKCR\\$type" /ve /d labdocs.testopener /f >/dev/null
done
opener="$(winepath -w "$PWD/build/windows/bin/record_opener.exe")"
wine reg add 'HKCR\labdocs.testopener\shell\open\command' /ve /d "\"$opener\" \"%1\"" /f >/dev/null

# Wine's desktop process starts with the first program that needs it and
# inherits that program's standard streams; started by a test (ShellExecute
# does), it would hold CTest's pipe for that test until the end of the run.
# So it starts here, kept by a program that waits until the server goes.
wine notepad.exe </dev/null >/dev/null 2>&1 &

tests_started=$SECONDS
ctest --preset windows
echo "Windows tests under Wine: $((SECONDS - tests_started)) s; the whole Windows stage: $((SECONDS - started)) s"
