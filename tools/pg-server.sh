#!/usr/bin/env bash
# A throw-away PostgreSQL server for the tests, in a folder of the build
# tree: its own cluster, listening on a private socket folder and on the
# loopback address (for the Windows programs under Wine, which have no Unix
# sockets, and for encrypted connections, which sockets do not have), run by
# the build's user (root has PostgreSQL run as the user labdocs-pg, made
# when missing: the server refuses to run as root).
#
#   tools/pg-server.sh start DIR [PORT]
#       makes the cluster when missing, starts the server (port 54329 unless
#       given), makes the database labdocs and writes its connection strings
#       to DIR/conninfo (the socket) and DIR/conninfo-tcp (127.0.0.1)
#   tools/pg-server.sh stop DIR
#       stops the server (the cluster stays)
set -euo pipefail
action="${1:?start or stop}"
dir="$(mkdir -p "${2:?folder}" && cd "$2" && pwd)"
bin="$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)"
port="${3:-54329}"

as_owner=()
if [ "$(id -u)" -eq 0 ]; then
  id labdocs-pg >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin labdocs-pg
  chown labdocs-pg "$dir"
  as_owner=(runuser -u labdocs-pg --)
fi

case "$action" in
  start)
    if [ ! -f "$dir/cluster/PG_VERSION" ]; then
      "${as_owner[@]}" "$bin/initdb" -D "$dir/cluster" -U labdocs -E UTF8 --locale=C.UTF-8 --auth=trust >"$dir/initdb.log"
    fi
    # A certificate that the tests' own authority signed (DIR/root.crt), so
    # that it takes encrypted connections too and clients can verify it.
    "${as_owner[@]}" "$(dirname "${BASH_SOURCE[0]}")/pg-tls.sh" "$dir"
    "${as_owner[@]}" mkdir -p "$dir/socket"
    "${as_owner[@]}" "$bin/pg_ctl" -D "$dir/cluster" -l "$dir/server.log" -w \
      -o "-k $dir/socket -p $port -c listen_addresses=127.0.0.1 -c fsync=off" start >/dev/null
    "$bin/psql" -h "$dir/socket" -p "$port" -U labdocs -d postgres -qAtc \
      "select 1 from pg_database where datname = 'labdocs'" | grep -q 1 ||
      "$bin/createdb" -h "$dir/socket" -p "$port" -U labdocs labdocs
    # Made once, where every test's own schema finds it on its search path.
    "$bin/psql" -h "$dir/socket" -p "$port" -U labdocs -d labdocs -qc "CREATE EXTENSION IF NOT EXISTS citext SCHEMA public"
    echo "host=$dir/socket port=$port user=labdocs dbname=labdocs" >"$dir/conninfo"
    echo "host=127.0.0.1 port=$port user=labdocs dbname=labdocs" >"$dir/conninfo-tcp"
    ;;
  stop)
    [ -f "$dir/cluster/postmaster.pid" ] && "${as_owner[@]}" "$bin/pg_ctl" -D "$dir/cluster" -w -m fast stop >/dev/null
    ;;
  *)
    echo "tools/pg-server.sh: start or stop, not '$action'" >&2
    exit 2
    ;;
esac
