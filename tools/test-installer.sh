#!/usr/bin/env bash
# The installer stage: makes the Windows installer from the Windows build
# tree (the target `installer`; the build of tools/test-windows.sh is
# reused, and made first when there is none), then, in a fresh 32-bit Wine
# prefix of its own (build/windows/installer-prefix) on a virtual X display,
# installs it silently into a chosen folder as an administrator would,
# checks the files, the Start menu entries and the uninstall key, runs the
# installed programs from that folder alone (their versions; a console
# script on the default home folder, which lies in the user's profile; the
# runtime's server client; the desktop host's window tests against the
# installed labdocs-desktop.exe), uninstalls silently and checks that the
# program folder, the entries and the key are gone and the user's home
# folder stays. The wine server of its prefix and the display end when the
# stage ends, also when a check fails; no other prefix is touched.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

started=$SECONDS
tools/deps.sh windows wine desktop
build="$PWD/build/windows"
[ -f "$build/build.ninja" ] || tools/test-windows.sh --build
cmake --build --preset windows --parallel 2 --target installer desktop_gui_tests record_opener
version="$(sed -n 's/^project(labdocs VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
installer="$build/labdocs-$version-setup.exe"
built=$SECONDS
fail() { echo "tools/test-installer.sh: $*" >&2; exit 1; }
[ -f "$installer" ] || fail "no installer $installer"

export WINEARCH=win32
export WINEPREFIX="$build/installer-prefix"
export WINEDEBUG=-all
export LANG=zh_CN.UTF-8
# The installed programs find everything in their own folder: nothing
# points at the build tree.
unset LC_ALL WAYLAND_DISPLAY WINEPATH LABDOCS_DLL_PATH LABDOCS_TEST_POSTGRES

source tools/virtual-display.sh
start_virtual_display "$build/installer-xvfb.log"
finish() {
  wineserver --kill >/dev/null 2>&1 || true  # WINEPREFIX is this stage's
  kill "$xvfb_pid" 2>/dev/null || true
}
trap finish EXIT
wait_virtual_display

wineserver --kill >/dev/null 2>&1 || true
rm -rf "$WINEPREFIX" "$build/desktop-gui"
wineboot --init >/dev/null 2>&1
wineserver --wait
# As for the desktop stage (tools/test-desktop.sh): frames drawn by Wine, no
# crash dialog, the demo's text documents opened by the recording opener.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
wine reg add 'HKCR\.txt' /ve /d labdocs.testopener /f >/dev/null
opener="$(winepath -w "$build/bin/record_opener.exe")"
wine reg add 'HKCR\labdocs.testopener\shell\open\command' /ve /d "\"$opener\" \"%1\"" /f >/dev/null

# A Windows path as Linux names it, and a variable of the Windows
# environment.
unix() { winepath -u "$1" 2>/dev/null; }
windows_variable() { wine cmd /c echo "%$1%" 2>/dev/null | tr -d '\r'; }
# A value of a registry key (REG_SZ or REG_DWORD), empty when missing.
reg_value() { wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"; }
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\labdocs'
key_value() { reg_value "$key" "$1"; }

target='C:\Lab Programs\labdocs'
folder="$(unix "$target")"
menu="$(unix "$(windows_variable ProgramData)")/Microsoft/Windows/Start Menu/Programs/labdocs"
home="$(unix "$(windows_variable LOCALAPPDATA)")/labdocs"
[ -n "$folder" ] && [ -d "$(dirname "$menu")" ] && [ "$home" != /labdocs ] || fail "the prefix's folders are not known"
# The code page that the installer checks and the programs need.
acp="$(reg_value 'HKLM\SYSTEM\CurrentControlSet\Control\Nls\CodePage' ACP)"
[ "$acp" = 936 ] || fail "the prefix's ANSI code page is '$acp', not 936"

# A command as an administrator types it at the command prompt: /D= takes
# the rest of the line, spaces too, unquoted (as Wine would quote an
# argument of its own command line).
work="$build/installer-work"
rm -rf "$work" && mkdir -p "$work"
run_command() {
  printf '@%s\r\n' "$1" >"$work/command.bat"
  wine cmd /c "$(winepath -w "$work/command.bat")"
}
install_started=$SECONDS
run_command "\"$(winepath -w "$installer")\" /S /D=$target" || fail "the silent install failed"
wineserver --wait
echo "Installed silently in $((SECONDS - install_started)) s"

# Exactly the program folder that the install rules made, and the
# uninstaller.
expected="$( (ls "$build/packaging/installer/root/bin"; echo uninstall.exe) | sort)"
[ "$(ls "$folder" | sort)" = "$expected" ] || { ls -l "$folder" >&2; fail "the installed files are not the program folder's"; }
for program in labdocs-desktop.exe labdocs-console.exe labdocs-admin.exe labdocs.dll LAB_DOC.dll hostrt.dll \
               hostrt_server.dll sqlite3.dll libpq.dll; do
  [ -f "$folder/$program" ] || fail "$program was not installed"
done
[ -f "$menu/labdocs.lnk" ] && [ -f "$menu/labdocs console.lnk" ] || fail "the Start menu entries are missing: $menu"
[ "$(key_value DisplayName)" = labdocs ] || fail "the uninstall key's DisplayName is not labdocs"
[ "$(key_value DisplayVersion)" = "$version" ] || fail "the uninstall key's DisplayVersion is not $version"
[ -n "$(key_value Publisher)" ] || fail "the uninstall key names no Publisher"
[ "$(key_value UninstallString)" = "\"$target\\uninstall.exe\"" ] || fail "UninstallString: $(key_value UninstallString)"
quiet="$(key_value QuietUninstallString)"
[ "$quiet" = "\"$target\\uninstall.exe\" /S" ] || fail "QuietUninstallString: $quiet"

# The installed programs, started from outside the build tree.
cd "$folder"
for program in labdocs-console labdocs-admin labdocs-desktop; do
  said="$(wine "$target\\$program.exe" --version </dev/null | tr -d '\r')"
  [ "$said" = "$program $version" ] || fail "$program --version said '$said', not '$program $version'"
done
# No --home: the console makes the user's home folder in the profile, not
# in the program folder it runs in.
saved="$(winepath -w "$work/copy.csv")"
wine "$target\\labdocs-console.exe" --script - >"$work/console.out" 2>"$work/console.err" <<SCRIPT ||
tree
open 文档管理明细/2019年度
expect rows 2
select 2
run miSaveAs
expect filename 仪器校准记录 2019; 第2版.csv
file $saved
expect status 0
quit
SCRIPT
  { cat "$work/console.out" "$work/console.err" >&2; fail "the console's script failed"; }
grep -q '文档管理' "$work/console.out" || { cat "$work/console.out" >&2; fail "the console showed no view tree"; }
[ -s "$work/copy.csv" ] || fail "the document was not saved"
[ -f "$home/labdocs.db" ] || fail "the home folder is not in the user's profile ($home)"
[ ! -e "$folder/labdocs.db" ] || fail "the console made its home in the program folder"
wine "$target\\labdocs-admin.exe" check >"$work/admin.out" 2>&1 || { cat "$work/admin.out" >&2; fail "labdocs-admin check failed"; }
# A server that is not there: the runtime loads its server client and libpq
# answers.
wine "$target\\labdocs-console.exe" --home 'C:\server-home' --database 'host=127.0.0.1 port=9 dbname=labdocs' \
  --script - </dev/null >"$work/server.out" 2>"$work/server.err" && fail "the console opened a server that is not there"
grep -q '127.0.0.1' "$work/server.err" || { cat "$work/server.err" >&2; fail "libpq did not answer"; }
cd - >/dev/null

gui_started=$SECONDS
LABDOCS_TEST_DESKTOP="$target\\labdocs-desktop.exe" wine "$build/bin/desktop_gui_tests.exe" --gtest_color=no
echo "Window tests on the installed desktop host: $((SECONDS - gui_started)) s"

# The uninstall that Add/Remove Programs' key gives. The uninstaller runs
# from a copy of itself that it starts and does not wait for: the wine
# server's end is the uninstall's.
run_command "$quiet" || fail "the silent uninstall failed"
wineserver --wait
[ ! -e "$folder" ] || { ls -lR "$folder" >&2; fail "the program folder is still there"; }
[ ! -e "$menu" ] || fail "the Start menu entries are still there"
if wine reg query "$key" >/dev/null 2>&1; then fail "the uninstall key is still there"; fi
[ -f "$home/labdocs.db" ] || fail "the uninstaller removed the user's home folder"

echo "Installer stage: $(basename "$installer") built in $((built - started)) s, installed, run and uninstalled; $((SECONDS - started)) s in all"
