#!/usr/bin/env bash
# A throw-away PostgreSQL server for the tests, in a folder of the build
# tree: its own cluster, listening on a private socket folder and on the
# loopback address (for the Windows programs under Wine, which have no Unix
# sockets, and for encrypted connections, which sockets do not have), run by
# the build's user (root has PostgreSQL run as the user labdocs-pg, made
# when missing: the server refuses to run as root).
#
# The tests log in as a laboratory's people do (docs/database.md), none of
# them a superuser: labdocs_owner owns the database labdocs and makes the
# tests' schemas; staff1 ... staff8 are members of the group labdocs_staff,
# reader1 of labdocs_reader. A second laboratory, in the schema lab2, has
# roles of its own, lab2_staff and lab2_reader, and lab2_staff1 works
# there. Every login is trusted over the socket and the loopback address.
# The cluster's superuser, labdocs, serves this script only.
#
#   tools/pg-server.sh start DIR [PORT]
#       makes the cluster when missing, starts the server (port 54329 unless
#       given), makes the logins and the database labdocs when missing and
#       writes the owner's connection strings to DIR/conninfo (the socket)
#       and DIR/conninfo-tcp (127.0.0.1); another login's is the same with
#       " user=<login>" after it
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
    admin=("$bin/psql" -h "$dir/socket" -p "$port" -U labdocs -v ON_ERROR_STOP=1 -qAt)
    "${admin[@]}" -d postgres <<'SQL'
DO $$
DECLARE
  login text;
BEGIN
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'labdocs_owner') THEN CREATE ROLE labdocs_owner LOGIN; END IF;
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'labdocs_staff') THEN CREATE ROLE labdocs_staff; END IF;
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'labdocs_reader') THEN CREATE ROLE labdocs_reader; END IF;
  FOR n IN 1..8 LOOP
    login := 'staff' || n;
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = login) THEN
      EXECUTE format('CREATE ROLE %I LOGIN IN ROLE labdocs_staff', login);
    END IF;
  END LOOP;
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'reader1') THEN CREATE ROLE reader1 LOGIN IN ROLE labdocs_reader; END IF;
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'lab2_staff') THEN CREATE ROLE lab2_staff; END IF;
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'lab2_reader') THEN CREATE ROLE lab2_reader; END IF;
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'lab2_staff1') THEN CREATE ROLE lab2_staff1 LOGIN IN ROLE lab2_staff; END IF;
END $$;
SQL
    "${admin[@]}" -d postgres -c "select 1 from pg_database where datname = 'labdocs'" | grep -q 1 ||
      "$bin/createdb" -h "$dir/socket" -p "$port" -U labdocs -O labdocs_owner labdocs
    # A cluster of an older version of this script: its database was the
    # superuser's.
    "${admin[@]}" -d postgres -c "ALTER DATABASE labdocs OWNER TO labdocs_owner"
    echo "host=$dir/socket port=$port user=labdocs_owner dbname=labdocs" >"$dir/conninfo"
    echo "host=127.0.0.1 port=$port user=labdocs_owner dbname=labdocs" >"$dir/conninfo-tcp"
    ;;
  stop)
    [ -f "$dir/cluster/postmaster.pid" ] && "${as_owner[@]}" "$bin/pg_ctl" -D "$dir/cluster" -w -m fast stop >/dev/null
    ;;
  *)
    echo "tools/pg-server.sh: start or stop, not '$action'" >&2
    exit 2
    ;;
esac
