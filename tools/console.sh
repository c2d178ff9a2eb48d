#!/usr/bin/env bash
# Builds the host console with the plug-in (labdocs) and the document store
# (LAB_DOC) it loads, and starts it on a demo home folder, which gets the
# demo data on first use: $LABDOCS_HOME, else ~/.labdocs-demo. Arguments go
# to the console (a --home of your own replaces the demo's; --help lists all).
#
# It installs only what the console needs (tools/deps.sh console) and builds
# in a tree of its own without the tests (build/console). Everything before
# the console starts goes to standard error: standard output is the
# console's alone, a transcript that a script's run may be compared by.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

tools/deps.sh console >&2
cmake -S . -B build/console -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc \
      -DLABDOCS_TESTS=OFF >/dev/null
# The console's target depends on the plug-in's and the store's, so this
# builds all three.
cmake --build build/console --parallel 2 --target labdocs-console >&2
home="${LABDOCS_HOME:-$HOME/.labdocs-demo}"
exec build/console/bin/labdocs-console --home "$home" "$@"
