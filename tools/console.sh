#!/usr/bin/env bash
# Builds the host console with the plug-in (labdocs) and the document store
# (LAB_DOC) it loads, and starts it on a demo home folder, which gets the
# demo data on first use: $LABDOCS_HOME, else ~/.labdocs-demo. Arguments go
# to the console (a --home of your own replaces the demo's; --help lists all).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

tools/deps.sh
cmake --preset dev >/dev/null
# The console's target depends on the plug-in's and the store's, so this
# builds all three.
cmake --build --preset dev --parallel 2 --target labdocs-console
home="${LABDOCS_HOME:-$HOME/.labdocs-demo}"
exec build/dev/bin/labdocs-console --home "$home" "$@"
