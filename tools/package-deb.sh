#!/usr/bin/env bash
# Builds the Debian package of the console and labdocs-admin with the
# plug-in, the document store, the runtime and its PostgreSQL client
# (packaging/CMakeLists.txt): an optimised build of only what the package
# holds, without tests (the package preset, build/package), packed by
# CPack's DEB generator. The package's path goes to standard output,
# everything else to standard error:
#
#   sudo apt-get install "./$(tools/package-deb.sh)"
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

tools/deps.sh console package
cmake --preset package >&2
cmake --build --preset package --parallel 2 >&2
rm -f build/package/labdocs_*.deb
(cd build/package && cpack -G DEB) >&2
ls "$PWD"/build/package/labdocs_*.deb
