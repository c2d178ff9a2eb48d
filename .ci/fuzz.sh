#!/usr/bin/env bash
# Builds the libFuzzer targets (the "fuzz" preset: clang, RelWithDebInfo,
# warnings as errors) and runs each one for a short while on a copy of its
# seed corpus. Fails when the build fails or a fuzzer stops on a finding; the
# input that caused it is kept under build/fuzz/artifacts/.
#
#   .ci/fuzz.sh              every target, 30 seconds each
#   FUZZ_SECONDS=300 .ci/fuzz.sh param_text_fuzz
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${FUZZ_SECONDS:-30}"
cd "$root"

cmake --preset fuzz
cmake --build --preset fuzz --parallel "${FUZZ_JOBS:-2}"

if [ "$#" -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for source in fuzz/*_fuzz.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
artifacts="$root/build/fuzz/artifacts"
mkdir -p "$artifacts"

failed=()
for name in "${targets[@]}"; do
  binary="build/fuzz/bin/$name"
  if [ ! -x "$binary" ]; then
    echo "== $name: FAILED; not built (no target for it in fuzz/CMakeLists.txt?)" >&2
    failed+=("$name")
    continue
  fi
  seeds="fuzz/corpus/${name%_fuzz}"
  corpus="$work/$name"
  mkdir -p "$corpus"
  if [ -d "$seeds" ]; then cp -R "$seeds/." "$corpus/"; fi
  echo "== $name: ${seconds}s on $(find "$corpus" -type f | wc -l) seed(s)"
  if "$binary" -max_total_time="$seconds" -print_final_stats=1 \
       -artifact_prefix="$artifacts/$name-" "$corpus"; then
    echo "== $name: no findings"
  else
    echo "== $name: FAILED; reproduce with: $binary $artifacts/$name-<file>" >&2
    failed+=("$name")
  fi
done

if [ "${#failed[@]}" -gt 0 ]; then
  echo "fuzz targets that failed: ${failed[*]}" >&2
  exit 1
fi
echo "all fuzz targets ran clean"
