#!/usr/bin/env bash
# Builds everything with warnings as errors under AddressSanitizer and
# UndefinedBehaviorSanitizer, runs every test, then runs each fuzz target for
# a short while.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

tools/deps.sh
cmake --preset ci
cmake --build --preset ci --parallel 2
ctest --preset ci
FUZZ_SECONDS="${FUZZ_SECONDS:-20}" .ci/fuzz.sh
