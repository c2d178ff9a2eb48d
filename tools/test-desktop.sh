#!/usr/bin/env bash
# The desktop stage: builds labdocs-desktop.exe and its window tests on the
# windows preset (build/windows), then runs the tests under Wine on a
# virtual X display. The Wine prefix (build/windows/desktop-prefix), the
# display (Xvfb) and a throw-away PostgreSQL server for the test on a
# laboratory's server (build/windows/desktop-postgres) are this stage's own,
# made afresh and ended when it ends; no other prefix or wine server is
# touched.
#
#   tools/test-desktop.sh                 build and run the window tests
#   tools/test-desktop.sh --screenshots   also refresh the pictures in docs/
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

screenshots=false
[ "${1:-}" = "--screenshots" ] && screenshots=true

started=$SECONDS
tools/deps.sh windows wine desktop postgres
cmake --preset windows
cmake --build --preset windows --parallel 2 --target labdocs-desktop desktop_gui_tests record_opener
echo "Desktop build: $((SECONDS - started)) s"

build="$PWD/build/windows"
export WINEARCH=win32
export WINEPREFIX="$build/desktop-prefix"
export WINEDEBUG=-all
export LANG=zh_CN.UTF-8
unset LC_ALL WAYLAND_DISPLAY

source tools/virtual-display.sh
start_virtual_display "$build/desktop-xvfb.log"
finish() {
  tools/pg-server.sh stop "$build/desktop-postgres" || true
  wineserver --kill >/dev/null 2>&1 || true  # WINEPREFIX is this stage's
  kill "$xvfb_pid" 2>/dev/null || true
}
trap finish EXIT
# The server, reached over the loopback address as a Windows workstation
# reaches one; its port is outside those the build trees' servers take.
rm -rf "$build/desktop-postgres"
tools/pg-server.sh start "$build/desktop-postgres" 54398
export LABDOCS_TEST_POSTGRES="$build/desktop-postgres/conninfo-tcp"
wait_virtual_display

prefix_started=$SECONDS
wineserver --kill >/dev/null 2>&1 || true
rm -rf "$WINEPREFIX" "$build/desktop-gui"
wineboot --init >/dev/null 2>&1
wineserver --wait
# The caption buttons' glyphs are Marlett's. Debian keeps Wine's own fonts in
# /usr/share/wine/fonts (fonts-wine), where this Wine takes no TrueType font
# from: the prefix gets its own copy.
cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
# Wine draws the windows' frames itself (no window manager runs), and a
# crash ends the program instead of waiting for a person at a dialog.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
# Revising a document hands it to the program of its type: the recording
# opener, for the demo's text documents.
wine reg add 'HKCR\.txt' /ve /d labdocs.testopener /f >/dev/null
opener="$(winepath -w "$build/bin/record_opener.exe")"
wine reg add 'HKCR\labdocs.testopener\shell\open\command' /ve /d "\"$opener\" \"%1\"" /f >/dev/null
echo "Wine prefix and display: $((SECONDS - prefix_started)) s"

tests_started=$SECONDS
shots=""
if $screenshots; then
  shots="$build/desktop-screenshots"
  rm -rf "$shots" && mkdir -p "$shots"
fi
LABDOCS_SCREENSHOTS="$shots" wine "$build/bin/desktop_gui_tests.exe" --gtest_color=no
echo "Desktop window tests under Wine: $((SECONDS - tests_started)) s; the whole desktop stage: $((SECONDS - started)) s"

if $screenshots; then
  # ImageMagick's own convert, as Debian installs it (not another one on PATH).
  for picture in "$shots"/*.bmp; do
    /usr/bin/convert "$picture" "docs/images/$(basename "${picture%.bmp}").png"
  done
  echo "Pictures: docs/images/"
fi
