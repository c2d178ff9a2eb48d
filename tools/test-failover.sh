#!/usr/bin/env bash
# A laboratory's server fails over while its workstations work
# (docs/server.md, "A standby that takes over"): a primary and its
# synchronous standby of the test's own (tools/pg-standby.sh), the
# laboratory's tables made by the owner's login through the two-host
# setting, then four workstations, each a process logged in as a member of
# the staff, add and revise documents through the document store. Midway
# the primary is killed while commits wait for the standby, the standby is
# promoted, and the workstations go on without starting again. Then the
# check (labdoc_failover_workstation check): what was reported done is
# there and fetches whole, what was reported failed is not, nothing is half
# there; it prints the figures.
#
# Two rounds, each on a new pair: in the first the standby's receiver
# stalls before the cut, and the log the primary sent last reaches the
# standby after the primary died (commits in flight are kept); in the
# second the primary's sender stalls and dies with it, and what it had not
# sent is lost with the primary (a commit in flight is kept only if its log
# left before the stall, the standby's answer not taken).
#
#   tools/test-failover.sh BIN DIR PORT1 PORT2
#       BIN holds labdocs-console, labdoc_failover_workstation and the
#       libraries beside them; DIR is made anew, and removed at the end
#       when the test passes (kept, with the servers' logs, when it fails);
#       the servers are stopped at the end, also on failure. Exit code 77:
#       this machine has no PostgreSQL server programs (the test skipped).
set -Eeuo pipefail
bin="$(cd "${1:?the folder of labdocs-console}" && pwd)"
dir="${2:?folder}"
port1="${3:?primary port}"
port2="${4:?standby port}"
tools="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
pg_bin="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1 || true)"
if [ -z "$pg_bin" ] || [ ! -x "$pg_bin/pg_basebackup" ]; then
  echo "test-failover: skipped: no PostgreSQL server programs (/usr/lib/postgresql/*/bin)"
  exit 77
fi
workstations=4
fail() {
  echo "test-failover: $*" >&2
  exit 1
}

# What a run cut short left running.
for pair in "$dir"/*/; do
  [ ! -d "$pair" ] || "$tools/pg-standby.sh" stop "$pair" >/dev/null 2>&1 || true
done
rm -rf "$dir"
mkdir -p "$dir"
dir="$(cd "$dir" && pwd)"
pair=
pids=()
stalled=
finish() {
  local status=$?
  [ -z "$stalled" ] || kill -CONT "$stalled" 2>/dev/null || true
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  [ -z "$pair" ] || "$tools/pg-standby.sh" stop "$pair" || status=1
  if [ "$status" -eq 0 ]; then
    rm -rf "$dir"
  elif [ -n "$pair" ]; then
    for log in "$pair"/*.log "$pair"/ws*.err; do
      [ -s "$log" ] || continue
      echo "test-failover: $log ends:" >&2
      tail -n 15 "$log" >&2
    done
  fi
  exit "$status"
}
trap finish EXIT
trap 'echo "test-failover: failed: $BASH_COMMAND (line $LINENO of ${BASH_SOURCE[0]})" >&2' ERR

done_count() { cat "$pair"/ws*.journal 2>/dev/null | grep -c '^end [0-9]* done' || true; }
wait_done() { # COUNT SECONDS: until COUNT operations are done, at most SECONDS
  local deadline=$((SECONDS + $2))
  while [ "$(done_count)" -lt "$1" ] && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.2; done
}

round() { # STALLED: receiver (the standby's) or sender (the primary's)
  pair="$dir/$1"
  echo "test-failover: round with the ${1} of the log stalled at the cut"
  "$tools/pg-standby.sh" start "$pair" "$port1" "$port2"
  local setting
  setting="$(cat "$pair/conninfo")"
  echo quit | "$bin/labdocs-console" --home "$pair/owner" --database "$setting user=labdocs_owner" --empty \
    >"$pair/owner.out" 2>&1 || fail "the owner's console did not make the tables: $(cat "$pair/owner.out")"

  export LABDOCS_DATABASE="$setting user=staff1"
  for w in $(seq "$workstations"); do
    mkdir -p "$pair/ws$w"
    "$bin/labdoc_failover_workstation" work "$pair/ws$w/cache" "$pair/ws$w" "$pair/ws$w.journal" "$pair/stop" \
      2>"$pair/ws$w.err" &
    pids+=("$!")
  done
  wait_done 40 20
  [ "$(done_count)" -gt 0 ] || fail "the workstations did nothing: $(cat "$pair"/ws*.err)"

  # The cut: the log stalls, so that the workstations' commits wait for the
  # standby, and the primary dies meanwhile. The moment is one when a
  # store's last transaction (the one that writes the document's row)
  # waits among them, when such a moment comes within a few tries.
  local primary_psql=("$pg_bin/psql" -h "$pair/socket" -p "$port1" -U labdocs -d labdocs -qAt)
  local standby_psql=("$pg_bin/psql" -h "$pair/socket" -p "$port2" -U labdocs -d postgres -qAt)
  if [ "$1" = receiver ]; then
    stalled="$("${standby_psql[@]}" -c "SELECT pid FROM pg_stat_wal_receiver")"
  else
    stalled="$("${primary_psql[@]}" -c "SELECT pid FROM pg_stat_replication")"
  fi
  [ -n "$stalled" ] || fail "the standby does not receive the primary's log"
  local waiting=0
  for _ in $(seq 20); do
    kill -STOP "$stalled"
    sleep 0.3
    waiting="$("${primary_psql[@]}" -c "SELECT count(*) FROM pg_stat_activity a JOIN pg_locks l ON l.pid = a.pid
      WHERE a.wait_event = 'SyncRep' AND l.relation = 'db_file_storage'::regclass AND l.mode = 'RowExclusiveLock'")"
    [ "$waiting" -eq 0 ] || break
    kill -CONT "$stalled"
    sleep 0.$((RANDOM % 3))
  done
  echo "test-failover: stores waiting for the standby in their last transaction at the cut: $waiting"
  local cut
  cut="$(date +%s%3N)"
  if [ "$1" = receiver ]; then
    "$tools/pg-standby.sh" kill "$pair"
    kill -CONT "$stalled"
  else
    # The sender dies without sending another byte, and the primary with it.
    kill -KILL "$stalled"
    "$tools/pg-standby.sh" kill "$pair"
  fi
  stalled=
  "$tools/pg-standby.sh" promote "$pair"
  echo "test-failover: the primary killed, the standby took over in $(($(date +%s%3N) - cut)) ms"

  # The workstations go on against the new primary.
  wait_done $(($(done_count) + 40)) 20
  # Each ends its operation and stops; one that does not fails the test
  # here, before CTest's time is up, so that the servers are stopped.
  touch "$pair/stop"
  local deadline=$((SECONDS + 20))
  for pid in "${pids[@]}"; do
    while kill -0 "$pid" 2>/dev/null; do
      [ "$SECONDS" -lt "$deadline" ] || fail "a workstation did not stop: $(cat "$pair"/ws*.err)"
      sleep 0.2
    done
    wait "$pid" || fail "a workstation failed: $(cat "$pair"/ws*.err)"
  done
  pids=()
  "$bin/labdoc_failover_workstation" check "$pair/check" "$cut" "$pair"/ws*.journal
  "$tools/pg-standby.sh" stop "$pair"
  pair=
}

round receiver
round sender
