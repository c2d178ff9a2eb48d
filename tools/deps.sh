#!/usr/bin/env bash
# Installs the Debian packages that labdocs needs, when any is missing. Needs
# root (or sudo) only when something must be installed.
#
#   tools/deps.sh            everything: building, the tests, the benchmarks,
#                            the fuzz targets, the Windows build and Wine
#   tools/deps.sh console    only what building the console with the plug-in
#                            and the document store needs
#   tools/deps.sh SET...     several sets: console, tests, bench, fuzz,
#                            windows (the cross build: MinGW-w64, and what
#                            building SQLite, OpenSSL and libpq from
#                            Debian's source packages needs, with apt's
#                            source entries enabled, and makensis for its
#                            installer), wine
#                            (32-bit Wine, with the i386 architecture added,
#                            and the zh_CN.UTF-8 locale, under which Wine's
#                            ANSI code page is 936), postgres (the
#                            PostgreSQL server and its client library, for
#                            a laboratory's shared database and its tests),
#                            desktop (the virtual X display, a Chinese font,
#                            Wine's own fonts for the windows' caption buttons
#                            and ImageMagick for the desktop host's window
#                            tests and pictures), package (what the Debian
#                            package's build needs beyond the console's:
#                            the PostgreSQL client library, and dpkg's tools
#                            that name the libraries the binaries need),
#                            format (clang-format for tools/format.sh)
#
# Nothing goes to standard output: what apt says goes to a log file, and a
# line naming the packages and the log goes to standard error, so that the
# script may run in front of a program whose output is a transcript.
set -euo pipefail

declare -A sets=(
  [console]="build-essential cmake ninja-build pkg-config libsqlite3-dev libssl-dev libedit-dev zlib1g-dev"
  [tests]="libgtest-dev libgmock-dev"
  [bench]="libbenchmark-dev xxd sqlite3 openssl"
  [fuzz]="clang libclang-rt-14-dev"
  [windows]="g++-mingw-w64-i686-posix libz-mingw-w64-dev tcl perl dpkg-dev libgtest-dev libgmock-dev nsis"
  [wine]="wine wine32:i386 locales"
  [postgres]="postgresql libpq-dev openssl"
  [desktop]="xvfb xauth imagemagick fonts-wqy-microhei fonts-wine"
  [package]="libpq-dev dpkg-dev file"
  [format]="clang-format"
)
all=(console tests bench fuzz windows wine postgres desktop package format)

chosen=("$@")
[ "${#chosen[@]}" -eq 0 ] && chosen=(all)
packages=()
for set in "${chosen[@]}"; do
  if [ "$set" = all ]; then
    for s in "${all[@]}"; do read -ra more <<<"${sets[$s]}"; packages+=("${more[@]}"); done
  elif [ -n "${sets[$set]+x}" ]; then
    read -ra more <<<"${sets[$set]}"
    packages+=("${more[@]}")
  else
    echo "tools/deps.sh: unknown set '$set' (all, ${all[*]})" >&2
    exit 2
  fi
done

wants() { for s in "${chosen[@]}"; do [ "$s" = "$1" ] || [ "$s" = all ] && return 0; done; return 1; }

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# apt's log, made only when something is installed.
log=""
open_log() { [ -n "$log" ] || log="$(mktemp "${TMPDIR:-/tmp}/labdocs-deps.XXXXXX")"; }
update=false

# The Windows build fetches SQLite's source package: apt needs its source
# entries (Debian 12 keeps them in deb822 files, "Types: deb deb-src").
if wants windows && ! grep -qs 'deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/*; then
  echo "Enabling apt's source entries" >&2
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] && $sudo sed -i 's/^Types: deb$/Types: deb deb-src/' "$file"
  done
  update=true
fi
# 32-bit Wine comes from the i386 architecture.
if wants wine && ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "Adding the i386 architecture" >&2
  $sudo dpkg --add-architecture i386
  update=true
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ] || $update; then
  open_log
  echo "Installing ${missing[*]:-nothing new} (apt's output: $log)" >&2
  if ! { $sudo apt-get update -q &&
         { [ "${#missing[@]}" -eq 0 ] || $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"; }; } \
         >"$log" 2>&1 </dev/null; then
    echo "tools/deps.sh: installing failed; the end of $log:" >&2
    tail -n 20 "$log" >&2
    exit 1
  fi
fi

# Wine takes its ANSI code page from the locale: zh_CN.UTF-8 gives 936.
if wants wine && ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  open_log
  echo "Generating the zh_CN.UTF-8 locale" >&2
  $sudo sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >>"$log" 2>&1
fi
