#!/usr/bin/env bash
# Builds the host console and the plug-in and starts the console on a demo
# home folder (made with demo data on first use). Arguments go to the console.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

tools/deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev --parallel 2 --target labdocs-console
exec build/dev/bin/labdocs-console "$@"
