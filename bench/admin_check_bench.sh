#!/usr/bin/env bash
# Whole-process comparison of `labdocs-admin check` with sha256sum over the
# same bytes, in one run on one disk: a console home is filled with
# SIZE_GIB (default 10) GiB of contents in files of FILE_MIB (default 256)
# MiB each, stored through the document store (labdoc_store_run) and listed
# in a directory, so that the check finds nothing wrong; the files stay
# beside it as the contents written as files. Then, REPS times (default 3),
#   check    labdocs-admin --home HOME check: every content read through
#            the store's chunk reader and its size and SHA-256 verified,
#   sha256   sha256sum of the files,
#   openssl  openssl dgst -sha256 of the files: the digest of the library
#            the store hashes with (sha256sum here hashes without the
#            processor's SHA instructions, about a quarter as fast),
# each starting with its input (the content file, the files) read into the
# page cache just before and no dirty data waiting to be written, as
# labdoc_bench.sh starts its cases. Prints the medians and their ratio.
#
#   bench/admin_check_bench.sh [bin folder] [work folder]
# Defaults: build/release/bin and a new folder under $TMPDIR (or /tmp),
# removed afterwards. It needs twice SIZE_GIB of free disk.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bin=$(realpath "${1:-build/release/bin}")
size_gib=${SIZE_GIB:-10}
file_mib=${FILE_MIB:-256}
reps=${REPS:-3}
if [ -n "${2:-}" ]; then
  work=$(realpath "$2"); mkdir -p "$work"; keep=1
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/admin_check_bench.XXXXXX"); keep=0
fi
cleanup() { [ "$keep" = 1 ] || rm -rf "$work"; }
trap cleanup EXIT

for program in labdocs-admin labdocs-console labdoc_store_run; do
  [ -x "$bin/$program" ] || { echo "no $bin/$program: build the release preset first" >&2; exit 1; }
done
export LD_LIBRARY_PATH="$bin${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
home="$work/home"
files="$work/files"
export LABDOCS_DATABASE="$home/labdocs.db"

now() { date +%s.%N; }

# The home: an empty database, then the files stored one by one.
if [ ! -f "$home/labdocs.db" ]; then
  "$bin/labdocs-console" --home "$home" --empty --script /dev/null > /dev/null
  mkdir -p "$files" "$work/cache"
  count=$(( size_gib * 1024 / file_mib ))
  start=$(now)
  for ((i = 1; i <= count; i++)); do
    file=$(printf '%s/content-%04d.bin' "$files" "$i")
    openssl rand -out "$file" $(( file_mib * 1024 * 1024 )) 2> /dev/null
    "$bin/labdoc_store_run" store "$work/cache" "$file" > /dev/null
  done
  # Every document listed in one directory, with its record and audit row.
  sqlite3 "$home/labdocs.db" "
    INSERT INTO Lab_List(TV_ID, TV_Name, DocType) VALUES(1, 'bench', 'bench');
    INSERT INTO RIS_DOC(ID, LABDOC_ID, DocType) SELECT LABDOC_ID, LABDOC_ID, '1' FROM DB_FILE_STORAGE;
    INSERT INTO DB_FILE_RECORD(FileTableName, FileTableID, LABDOC_ID, SRCFILENAME)
      SELECT 'RIS_DOC', LABDOC_ID, LABDOC_ID, FILE_NAME FROM DB_FILE_STORAGE;"
  echo "filled: $count contents of $file_mib MiB in $(echo "$(now) - $start" | bc -l | cut -c1-6) s"
fi
content_file=$(ls "$home"/labdoc-content-*.db)
bytes=$(cat "$files"/*.bin | wc -c)

# measure <label> <input...> -- <command...>: appends the seconds to $work/<label>.
measure() {
  local label=$1; shift
  local inputs=()
  while [ "$1" != "--" ]; do inputs+=("$1"); shift; done
  shift
  cat "${inputs[@]}" > /dev/null
  sync -f "$work"
  local start end
  start=$(now)
  "$@" > "$work/out" || { echo "$label failed:" >&2; cat "$work/out" >&2; exit 1; }
  end=$(now)
  echo "$end - $start" | bc -l >> "$work/$label"
}
median() { sort -g "$1" | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

rm -f "$work/check" "$work/sha256" "$work/openssl"
for ((i = 0; i < reps; i++)); do
  measure check "$content_file" "$home/labdocs.db" -- "$bin/labdocs-admin" --home "$home" check
  measure sha256 "$files"/*.bin -- sha256sum "$files"/*.bin
  measure openssl "$files"/*.bin -- openssl dgst -sha256 "$files"/*.bin
done
check=$(median "$work/check")
sha=$(median "$work/sha256")
ossl=$(median "$work/openssl")
mib=$(echo "$bytes / 1048576" | bc -l)
printf '%-8s %10s %10s %10s\n' what MiB seconds "MiB/s"
for case in check:$check sha256:$sha openssl:$ossl; do
  printf '%-8s %10.0f %10.2f %10.0f\n' "${case%%:*}" "$mib" "${case#*:}" "$(echo "$mib / ${case#*:}" | bc -l)"
done
printf 'ratio check/sha256sum: %.2f, check/openssl: %.2f (medians of %d)\n' \
  "$(echo "$check / $sha" | bc -l)" "$(echo "$check / $ossl" | bc -l)" "$reps"
