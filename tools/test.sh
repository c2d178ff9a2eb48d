#!/usr/bin/env bash
# Checks the sources' layout (tools/format.sh --check); builds everything
# with warnings as errors under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every test; builds the 32-bit Windows
# DLLs, console and test programs and runs the same tests under Wine
# (tools/test-windows.sh), and the desktop host's window tests under Wine on
# a virtual display (tools/test-desktop.sh), and makes the Windows
# installer, installs it silently under Wine, runs the installed programs
# and uninstalls it (tools/test-installer.sh); runs each fuzz target for a
# short while; builds the Debian package, installs it, runs the installed
# programs and purges it again (tools/test-package.sh); last the benchmarks
# run once on small data, to show that they run and print their ratios
# (their times under the sanitizers mean nothing, and no time fails the
# run).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# The Windows, desktop and installer stages install their own sets (MinGW-w64, Wine,
# the virtual display).
tools/deps.sh console tests bench fuzz postgres package format
tools/format.sh --check
cmake --preset ci
cmake --build --preset ci --parallel 2
tools/test-windows.sh
tools/test-desktop.sh
tools/test-installer.sh
FUZZ_SECONDS="${FUZZ_SECONDS:-20}" .ci/fuzz.sh
ctest --preset ci
tools/test-package.sh
LABDOCS_BENCH_DOCUMENTS=3000 build/ci/bin/plugin_bench --benchmark_min_time=0.01
SIZES_MIB=1 REPS=1 bench/labdoc_bench.sh build/ci/bin
