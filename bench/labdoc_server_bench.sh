#!/usr/bin/env bash
# Whole-process comparison of the document store on a PostgreSQL server with
# the same store on SQLite and with the server's own bulk paths, in one run:
# for files of 1 MiB, 100 MiB and 1 GiB (SIZES_MIB), the median of REPS runs
# (default 3) of
#   cp+sync      copying the file and syncing the copy (the disk's pace),
#   store-sqlite SaveLabDoc into an SQLite file,   fetch-sqlite GetLabDoc from it,
#   store        SaveLabDoc into the server,       fetch        GetLabDoc from it,
#   lo_import    psql's \lo_import of the file (a large object, binary),
#   lo_export    psql's \lo_export of it into a file,
#   copy-in      COPY of the file's bytes as 1 MiB bytea rows (hex text,
#                prepared beforehand: the form COPY moves them in),
#   copy-out     COPY of those rows out to a file (hex text).
# Fetches start with an empty cache folder; every fetched copy is compared
# with the source. The server is the one SERVER names (a libpq connection
# string); its schema labdoc_bench is made afresh for each size.
#
#   SERVER="host=... dbname=..." bench/labdoc_server_bench.sh [bin folder]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bin=$(realpath "${1:-build/release/bin}")
reps=${REPS:-3}
sizes_mib=(${SIZES_MIB:-1 100 1024})
server=${SERVER:?SERVER names no server}
run="$bin/labdoc_store_run"
[ -x "$run" ] || { echo "no $run: build the release preset first" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/labdoc_server_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export LD_LIBRARY_PATH="$bin${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
export PGOPTIONS="-c client_min_messages=warning"
on_server="$server options='-csearch_path=labdoc_bench,public'"
sql() { psql -q -X -v ON_ERROR_STOP=1 "$on_server" "$@" > /dev/null; }

now() { date +%s.%N; }
# measure <label> <command...>: appends the command's wall time to $work/<label>.
measure() {
  local label=$1; shift
  sync -f "$work"
  local start; start=$(now)
  "$@" > "$work/out"
  echo "$(echo "$(now) - $start" | bc -l)" >> "$work/$label"
}
median() { sort -g "$1" | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

printf '%-8s %-13s %9s %10s  %s\n' size what seconds "MiB/s" ratio
for mib in "${sizes_mib[@]}"; do
  src="$work/source.bin"
  head -c "$((mib * 1024 * 1024))" /dev/urandom > "$src"
  xxd -p -c 1048576 "$src" | awk '{printf "%d\t\\\\x%s\n", NR - 1, $0}' > "$work/source.hex"
  rm -f "$work"/{cpsync,store-sqlite,fetch-sqlite,store,fetch,lo_import,lo_export,copy-in,copy-out}
  psql -q -X -v ON_ERROR_STOP=1 "$server" -c "DROP SCHEMA IF EXISTS labdoc_bench CASCADE" -c "CREATE SCHEMA labdoc_bench" > /dev/null
  "$run" create "$on_server"
  sql -c "CREATE TABLE bench_copy (seq bigint, data bytea)"
  rm -f "$work"/labdocs.db*
  "$run" create "$work/labdocs.db"
  for ((i = 0; i < reps; i++)); do
    rm -f "$work/copy.bin"
    measure cpsync sh -c 'cp "$1" "$2" && sync "$2"' sh "$src" "$work/copy.bin"
    cat "$src" > /dev/null
    LABDOCS_DATABASE="$work/labdocs.db" measure store-sqlite "$run" store "$work/cache" "$src"
    sqlite_id=$(awk '{print $2}' "$work/out")
    rm -rf "$work/cache"; mkdir -p "$work/cache"
    LABDOCS_DATABASE="$work/labdocs.db" measure fetch-sqlite "$run" fetch "$work/cache" "$sqlite_id"
    cmp -s "$src" "$work/cache/source.bin" || { echo "the copy fetched from SQLite differs" >&2; exit 1; }
    cat "$src" > /dev/null
    LABDOCS_DATABASE="$on_server" measure store "$run" store "$work/cache" "$src"
    id=$(awk '{print $2}' "$work/out")
    rm -rf "$work/cache"; mkdir -p "$work/cache"
    LABDOCS_DATABASE="$on_server" measure fetch "$run" fetch "$work/cache" "$id"
    cmp -s "$src" "$work/cache/source.bin" || { echo "the copy fetched from the server differs" >&2; exit 1; }
    cat "$src" > /dev/null
    measure lo_import psql -q -X -v ON_ERROR_STOP=1 "$on_server" -c "\\lo_import $src" -c "\\echo :LASTOID"
    oid=$(tail -n 1 "$work/out")
    rm -f "$work/lo.bin"
    measure lo_export psql -q -X -v ON_ERROR_STOP=1 "$on_server" -c "\\lo_export $oid $work/lo.bin"
    cmp -s "$src" "$work/lo.bin" || { echo "the large object differs" >&2; exit 1; }
    sql -c "SELECT lo_unlink($oid)"
    rm -f "$work/lo.bin"
    sql -c "TRUNCATE bench_copy"
    cat "$work/source.hex" > /dev/null
    measure copy-in psql -q -X -v ON_ERROR_STOP=1 "$on_server" -c "\\copy bench_copy(seq, data) from '$work/source.hex'"
    measure copy-out psql -q -X -v ON_ERROR_STOP=1 "$on_server" \
      -c "\\copy (SELECT data FROM bench_copy ORDER BY seq) to '$work/copy.hex'"
    rm -f "$work/copy.hex"
  done
  cpsync=$(median "$work/cpsync"); lo_import=$(median "$work/lo_import"); lo_export=$(median "$work/lo_export")
  copy_in=$(median "$work/copy-in"); copy_out=$(median "$work/copy-out")
  store_sqlite=$(median "$work/store-sqlite"); fetch_sqlite=$(median "$work/fetch-sqlite")
  for what in cpsync store-sqlite fetch-sqlite store fetch lo_import lo_export copy-in copy-out; do
    s=$(median "$work/$what")
    case $what in
      store) ratio=$(printf '%.2fx lo_import  %.2fx copy-in  %.2fx store-sqlite' "$(echo "$s / $lo_import" | bc -l)" \
               "$(echo "$s / $copy_in" | bc -l)" "$(echo "$s / $store_sqlite" | bc -l)") ;;
      fetch) ratio=$(printf '%.2fx lo_export  %.2fx copy-out  %.2fx fetch-sqlite' "$(echo "$s / $lo_export" | bc -l)" \
               "$(echo "$s / $copy_out" | bc -l)" "$(echo "$s / $fetch_sqlite" | bc -l)") ;;
      *) ratio="" ;;
    esac
    label=$what; [ "$what" = cpsync ] && label=cp+sync
    printf '%-8s %-13s %9.3f %10.1f  %s\n' "${mib}MiB" "$label" "$s" "$(echo "$mib / $s" | bc -l)" "$ratio"
  done
  rm -f "$src" "$work/source.hex" "$work"/labdocs.db* "$work"/labdoc-content-*
done
