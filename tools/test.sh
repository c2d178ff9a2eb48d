#!/usr/bin/env bash
# Builds everything with warnings as errors under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every test; then checks that the
# sources compile for 32-bit Windows and runs each fuzz target for a short
# while.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

tools/deps.sh
cmake --preset ci
cmake --build --preset ci --parallel 2
tools/check-windows.sh
FUZZ_SECONDS="${FUZZ_SECONDS:-20}" .ci/fuzz.sh
ctest --preset ci
