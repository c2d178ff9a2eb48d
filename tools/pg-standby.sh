#!/usr/bin/env bash
# A throw-away primary and its synchronous standby, in a folder of the build
# tree, as docs/server.md ("A standby that takes over") sets them up: two
# clusters on the loopback address, each with its own port, run by the
# build's user (root has PostgreSQL run as labdocs-pg, as tools/pg-server.sh
# does). The standby streams the primary's write-ahead log as the
# non-superuser role labdocs_replica (REPLICATION), under the name standby1,
# which the primary's synchronous_standby_names waits for: a commit the
# primary reports done is on the standby too.
#
#   tools/pg-standby.sh start DIR PORT1 PORT2
#       makes both clusters when missing (DIR/primary, DIR/standby: a copy
#       of the primary by pg_basebackup -R), starts them and waits until the
#       standby is the primary's synchronous one; makes the owner
#       labdocs_owner, the staff login staff1 and the database labdocs, and
#       writes the two-host setting to DIR/conninfo
#   tools/pg-standby.sh kill DIR
#       stops the primary at once (immediate: as its machine dying)
#   tools/pg-standby.sh promote DIR
#       promotes the standby to primary and waits until it takes writes
#   tools/pg-standby.sh stop DIR
#       stops every server still running (the clusters stay)
set -euo pipefail
action="${1:?start, kill, promote or stop}"
dir="$(mkdir -p "${2:?folder}" && cd "$2" && pwd)"
bin="$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)"

as_owner=()
if [ "$(id -u)" -eq 0 ]; then
  id labdocs-pg >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin labdocs-pg
  chown labdocs-pg "$dir"
  as_owner=(runuser -u labdocs-pg --)
fi
ctl() {  # CLUSTER ARGS...
  local cluster="$1"
  shift
  "${as_owner[@]}" "$bin/pg_ctl" -D "$dir/$cluster" -l "$dir/$cluster.log" -w "$@" >/dev/null
}
running() { [ -f "$dir/$1/postmaster.pid" ]; }

case "$action" in
  start)
    port1="${3:?primary port}"
    port2="${4:?standby port}"
    "${as_owner[@]}" mkdir -p "$dir/socket"
    admin1=("$bin/psql" -h "$dir/socket" -p "$port1" -U labdocs -v ON_ERROR_STOP=1 -qAt -d postgres)
    if [ ! -f "$dir/primary/PG_VERSION" ]; then
      "${as_owner[@]}" "$bin/initdb" -D "$dir/primary" -U labdocs -E UTF8 --locale=C.UTF-8 --auth=trust >"$dir/initdb.log"
      # The primary: the log a standby can replay and senders for it. Its
      # commits wait for standby1 only once the standby runs (below): before
      # that, every commit would wait.
      "${as_owner[@]}" tee -a "$dir/primary/postgresql.conf" >/dev/null <<'CONF'
wal_level = replica
max_wal_senders = 4
synchronous_commit = on
CONF
      echo "host replication labdocs_replica 127.0.0.1/32 trust" | "${as_owner[@]}" tee -a "$dir/primary/pg_hba.conf" >/dev/null
    fi
    running primary || ctl primary -o "-k $dir/socket -p $port1 -c listen_addresses=127.0.0.1" start
    "${admin1[@]}" <<'SQL'
DO $$
BEGIN
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'labdocs_replica') THEN CREATE ROLE labdocs_replica LOGIN REPLICATION; END IF;
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'labdocs_owner') THEN CREATE ROLE labdocs_owner LOGIN; END IF;
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'labdocs_staff') THEN CREATE ROLE labdocs_staff; END IF;
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'labdocs_reader') THEN CREATE ROLE labdocs_reader; END IF;
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'staff1') THEN CREATE ROLE staff1 LOGIN IN ROLE labdocs_staff; END IF;
END $$;
SQL
    "${admin1[@]}" -c "select 1 from pg_database where datname = 'labdocs'" | grep -q 1 ||
      "$bin/createdb" -h "$dir/socket" -p "$port1" -U labdocs -O labdocs_owner labdocs
    if [ ! -f "$dir/standby/PG_VERSION" ]; then
      # A copy of the primary that knows how to follow it: -R writes
      # standby.signal and primary_conninfo; the name it gives the primary
      # is the one synchronous_standby_names waits for.
      "${as_owner[@]}" "$bin/pg_basebackup" -D "$dir/standby" -R -X stream -c fast \
        -d "host=127.0.0.1 port=$port1 user=labdocs_replica application_name=standby1"
    fi
    running standby || ctl standby -o "-k $dir/socket -p $port2 -c listen_addresses=127.0.0.1" start
    "${admin1[@]}" -c "ALTER SYSTEM SET synchronous_standby_names = 'standby1'" -c "SELECT pg_reload_conf()" >/dev/null
    for _ in $(seq 100); do
      [ "$("${admin1[@]}" -c "select sync_state from pg_stat_replication where application_name = 'standby1'")" = sync ] && break
      sleep 0.1
    done
    [ "$("${admin1[@]}" -c "select sync_state from pg_stat_replication where application_name = 'standby1'")" = sync ] ||
      { echo "tools/pg-standby.sh: the standby did not become synchronous" >&2; exit 1; }
    echo "host=127.0.0.1,127.0.0.1 port=$port1,$port2 dbname=labdocs target_session_attrs=read-write" >"$dir/conninfo"
    ;;
  kill)
    ! running primary || ctl primary -m immediate stop
    ;;
  promote)
    ctl standby promote
    ;;
  stop)
    for cluster in standby primary; do
      ! running "$cluster" || ctl "$cluster" -m fast stop
    done
    ;;
  *)
    echo "tools/pg-standby.sh: start, kill, promote or stop, not '$action'" >&2
    exit 2
    ;;
esac
