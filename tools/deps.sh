#!/usr/bin/env bash
# Installs the Debian packages that labdocs needs, when any is missing. Needs
# root (or sudo) only when something must be installed.
#
#   tools/deps.sh            everything: building, the tests, the benchmarks,
#                            the fuzz targets and the Windows compile check
#   tools/deps.sh console    only what building the console with the plug-in
#                            and the document store needs
#   tools/deps.sh SET...     several sets: console, tests, bench, fuzz, windows
#
# Nothing goes to standard output: what apt says goes to a log file, and a
# line naming the packages and the log goes to standard error, so that the
# script may run in front of a program whose output is a transcript.
set -euo pipefail

declare -A sets=(
  [console]="build-essential cmake ninja-build pkg-config libsqlite3-dev libssl-dev"
  [tests]="libgtest-dev libgmock-dev"
  [bench]="libbenchmark-dev"
  [fuzz]="clang libclang-rt-14-dev"
  [windows]="g++-mingw-w64-i686-posix"
)
all=(console tests bench fuzz windows)

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

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ "${#missing[@]}" -eq 0 ] && exit 0

log="$(mktemp "${TMPDIR:-/tmp}/labdocs-deps.XXXXXX")"
echo "Installing ${missing[*]} (apt's output: $log)" >&2
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! { $sudo apt-get update -q && $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"; } \
       >"$log" 2>&1 </dev/null; then
  echo "tools/deps.sh: installing failed; the end of $log:" >&2
  tail -n 20 "$log" >&2
  exit 1
fi
