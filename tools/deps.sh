#!/usr/bin/env bash
# Installs the Debian packages that building and testing labdocs needs, when
# any is missing. Needs root (or sudo) only when something must be installed.
set -euo pipefail

packages=(build-essential cmake ninja-build pkg-config libsqlite3-dev libgtest-dev libgmock-dev
          libbenchmark-dev clang libclang-rt-14-dev libssl-dev g++-mingw-w64-i686-posix)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ "${#missing[@]}" -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
