#!/usr/bin/env bash
# Whole-process comparison of the document store LAB_DOC with cp: for files of
# 1 MiB, 100 MiB and 1 GiB, in one run and on one disk, the wall time, the
# throughput and the peak memory (maximum resident set, /usr/bin/time) of
#   cp          copying the file,
#   cp+sync     copying it and syncing the copy to the disk (sync FILE),
#   sqlite3     the sqlite3 shell storing the file as one blob in one
#               transaction of a write-ahead-logged database: what SQLite
#               itself costs a process that stores once (the log made,
#               synced at the commit, checkpointed and removed at the end),
#   sha256      openssl dgst -sha256 of the file: hashing it alone, what
#               the verification of every fetch costs before any reading
#               from the database or writing,
#   store       SaveLabDoc of the file into a fresh database (a transaction
#               that the database syncs when it commits),
#   fetch       GetLabDoc into an empty cache folder (read, verified, renamed),
#   fetch-hit   GetLabDoc again, finding the cached copy current (it is read
#               and its digest compared; nothing is written),
#   settled     GetLabDoc of a copy left alone for two seconds and found
#               current once since: its recorded identity on the disk
#               answers, without reading it.
# Each is run REPS times (default 3); the median is reported. Times are of the
# whole process, start-up included; "op" is the entry point call alone. Every
# case starts with no dirty data waiting to be written and with its input
# (the source file, or the database file) read into the page cache just
# before, so that cp and the store read under the same conditions. Each
# repetition runs the cases in another order (a shuffle drawn from SEED,
# default 1, printed with each repetition's order), so that no case always
# follows the same one and pays for what it leaves behind.
#
#   bench/labdoc_bench.sh [bin folder] [work folder]
# Defaults: build/release/bin and a new folder under $TMPDIR (or /tmp),
# which is removed afterwards.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bin=$(realpath "${1:-build/release/bin}")
reps=${REPS:-3}
seed=${SEED:-1}
sizes_mib=(${SIZES_MIB:-1 100 1024})
if [ -n "${2:-}" ]; then
  work=$(realpath "$2"); mkdir -p "$work"; keep=1
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/labdoc_bench.XXXXXX"); keep=0
fi
cleanup() { [ "$keep" = 1 ] || rm -rf "$work"; }
trap cleanup EXIT

run="$bin/labdoc_store_run"
[ -x "$run" ] || { echo "no $run: build the release preset first" >&2; exit 1; }
export LABDOCS_DATABASE="$work/labdocs.db"
export LD_LIBRARY_PATH="$bin${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"

now() { date +%s.%N; }
# measure <label> <input file> <command...>: appends "<seconds> <max rss KiB>
# <op seconds>" to $work/<label>.
measure() {
  local label=$1 input=$2; shift 2
  cat "$input" > /dev/null
  local start end
  # Every case starts with no dirty data of an earlier one still being
  # written back, and after a pause (SETTLE seconds, default 1) in which
  # the disk finishes what the sync handed it (timed at once, a case pays
  # for the writing back of the one before).
  sync -f "$work"
  sleep "${SETTLE:-1}"
  start=$(now)
  /usr/bin/time -f "%M" -o "$work/rss" "$@" > "$work/out"
  end=$(now)
  local op
  op=$(awk 'NF>=2 {print $1; exit} END {if (NR==0) print "-"}' "$work/out")
  echo "$(echo "$end - $start" | bc -l) $(cat "$work/rss") $op" >> "$work/$label"
}
# shuffle WORD...: sets order to the words in an order drawn from bash's
# generator, which SEED seeds once for the run (Fisher-Yates; not in a
# subshell, which would draw from a generator of its own).
RANDOM=$seed
shuffle() {
  order=("$@")
  local i j t
  for ((i = ${#order[@]} - 1; i > 0; i--)); do
    j=$((RANDOM % (i + 1))); t=${order[i]}; order[i]=${order[j]}; order[j]=$t
  done
}
# run_case <case>: one timed run of a case on $src, document $id and the
# cache folder $work/cache, leaving nothing that another case depends on.
run_case() {
  case $1 in
    cp) rm -f "$work/copy.bin"
        measure cp "$src" cp "$src" "$work/copy.bin"
        rm -f "$work/copy.bin" ;;
    cpsync) rm -f "$work/copy.bin"
            measure cpsync "$src" sh -c 'cp "$1" "$2" && sync "$2"' sh "$src" "$work/copy.bin"
            rm -f "$work/copy.bin" ;;
    sha256) measure sha256 "$src" openssl dgst -sha256 -out /dev/null "$src" ;;
    sqlite) measure sqlite "$src" sqlite3 "$work/shell.db" "INSERT INTO c VALUES(readfile('$src'))"
            sqlite3 "$work/shell.db" "DELETE FROM c" ;;
    store) measure store "$src" "$run" store "$work/cache" "$src" ;;
    # A fetch into an empty cache folder, then one that finds the copy
    # just fetched current (too new to be settled).
    fetch) rm -rf "$work/cache"; mkdir -p "$work/cache"
           measure fetch "$LABDOCS_DATABASE" "$run" fetch "$work/cache" "$id"
           cmp -s "$src" "$work/cache/source.bin" || { echo "fetched copy differs" >&2; exit 1; }
           measure hit "$work/cache/source.bin" "$run" fetch "$work/cache" "$id" ;;
    # A copy left alone for two seconds, then found current once: settled.
    settled) [ -f "$work/cache/source.bin" ] || "$run" fetch "$work/cache" "$id" > /dev/null
             sleep 2.1
             "$run" fetch "$work/cache" "$id" > /dev/null
             measure settled "$work/cache/source.bin" "$run" fetch "$work/cache" "$id" ;;
  esac
}
median() {  # median of column $2 of file $1
  sort -g -k"$2","$2" "$1" | awk -v c="$2" '{v[NR]=$c} END {print v[int((NR+1)/2)]}'
}

printf '%-9s %-9s %10s %11s %10s %10s %9s\n' size what seconds "MiB/s" "op s" "peak KiB" ratio
for mib in "${sizes_mib[@]}"; do
  src="$work/source.bin"
  head -c "$((mib * 1024 * 1024))" /dev/urandom > "$src"
  rm -f "$work"/{cp,cpsync,sha256,sqlite,store,fetch,hit,settled} "$work"/shell.db*
  sqlite3 "$work/shell.db" "PRAGMA journal_mode=WAL; CREATE TABLE c(data BLOB)" > /dev/null
  rm -f "$work"/labdocs.db*
  "$run" create "$LABDOCS_DATABASE"
  # The document that the fetches fetch, stored untimed.
  id=$("$run" store "$work/cache" "$src" | awk '{print $2}')
  # SQLite takes no blob of a gigabyte or more (its length limit).
  cases=(cp cpsync sha256 store fetch settled)
  [ "$mib" -lt 900 ] && cases+=(sqlite)
  for ((i = 0; i < reps; i++)); do
    shuffle "${cases[@]}"
    echo "# ${mib}MiB repetition $((i + 1)) of $reps (seed $seed): ${order[*]}"
    for what in "${order[@]}"; do run_case "$what"; done
  done
  cp_s=$(median "$work/cp" 1); cpsync_s=$(median "$work/cpsync" 1)
  sqlite_s=$( [ -f "$work/sqlite" ] && median "$work/sqlite" 1 || true)
  sha256_s=$(median "$work/sha256" 1)
  for what in cp cpsync sha256 sqlite store fetch hit settled; do
    [ -f "$work/$what" ] || continue
    s=$(median "$work/$what" 1); rss=$(median "$work/$what" 2); op=$(median "$work/$what" 3)
    case $what in
      sqlite) ratio=$(printf '%.2fx cp+sync' "$(echo "$s / $cpsync_s" | bc -l)") ;;
      store) ratio=$(printf '%.2fx cp+sync' "$(echo "$s / $cpsync_s" | bc -l)")
             [ -n "$sqlite_s" ] && ratio+=$(printf ', %.2fx sqlite3' "$(echo "$s / $sqlite_s" | bc -l)") ;;
      sha256|settled) ratio=$(printf '%.2fx cp' "$(echo "$s / $cp_s" | bc -l)") ;;
      fetch|hit) ratio=$(printf '%.2fx cp, %.2fx sha256' "$(echo "$s / $cp_s" | bc -l)" \
                       "$(echo "$s / $sha256_s" | bc -l)") ;;
      *) ratio="" ;;
    esac
    label=$what; [ "$what" = cpsync ] && label=cp+sync; [ "$what" = hit ] && label=fetch-hit
    printf '%-9s %-9s %10.3f %11.1f %10s %10s %9s\n' "${mib}MiB" "$label" "$s" "$(echo "$mib / $s" | bc -l)" \
      "$op" "$rss" "$ratio"
  done
  rm -rf "$work/cache" "$src" "$work"/labdocs.db* "$work"/shell.db*
done
