#!/usr/bin/env bash
# docs/server.md, run: the guide's sh blocks, in order and as written, as
# root on a throw-away server of the test's own (a cluster in DIR, as
# Debian's package makes one: its superuser named as the system user that
# runs it, the local socket trusted for that user, passwords from the
# network), then checks of what they made: a staff login adds and lists
# documents through the console over TCP with verify-full, a reader's lists
# and saves a copy but is refused a change, an unencrypted connection and a
# server of another authority are refused, a laboratory's staff get nothing
# of another laboratory, and the backup restores.
#
# What the test replaces: the guide's first block ("Set these for your
# laboratory") runs, and then the test's own values of the server's name,
# address, port, network and folders, each a name that block sets. The
# guide's console blocks (commands only a real server has) are stood in
# for: installing is the test's cluster, a restart restarts it. The
# guide's other blocks (Windows, transcripts) do not run.
#
#   tools/test-server-guide.sh BIN DIR PORT
#       BIN holds labdocs-console and the libraries beside it; DIR is made
#       anew and removed at the end (the server stopped), also on failure;
#       the server listens on PORT.
set -Eeuo pipefail
guide="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/docs/server.md"
bin="$(cd "${1:?the folder of labdocs-console}" && pwd)"
dir="${2:?folder}"
port="${3:?port}"
pg_bin="$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)"
fail() {
  echo "test-server-guide: $*" >&2
  exit 1
}

rm -rf "$dir"
mkdir -p "$dir"
dir="$(cd "$dir" && pwd)"
pg_user="$(id -un)"
as_server=()
if [ "$(id -u)" -eq 0 ]; then
  # The server refuses to run as root.
  id labdocs-pg >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin labdocs-pg
  pg_user=labdocs-pg
  as_server=(runuser -u labdocs-pg --)
  chown labdocs-pg "$dir"
fi
pg_ctl() { "${as_server[@]}" "$pg_bin/pg_ctl" -D "$dir/cluster" -l "$dir/server.log" -w "$@" >/dev/null; }
finish() {
  local status=$?
  if [ "$status" -ne 0 ] && [ -f "$dir/server.log" ]; then
    echo "test-server-guide: failed; the server's log ends:" >&2
    tail -n 20 "$dir/server.log" >&2
  fi
  if [ -f "$dir/cluster/postmaster.pid" ]; then pg_ctl -m immediate stop || true; fi
  rm -rf "$dir"
  exit "$status"
}
trap finish EXIT
trap 'echo "test-server-guide: failed: $BASH_COMMAND (line $LINENO of ${BASH_SOURCE[0]})" >&2' ERR

# The server as Debian's package installs it.
"${as_server[@]}" "$pg_bin/initdb" -D "$dir/cluster" -U "$pg_user" -E UTF8 --locale=C.UTF-8 \
  --auth-local=trust --auth-host=scram-sha-256 >"$dir/initdb.log"
"${as_server[@]}" mkdir "$dir/socket"
start_options=(-o "-k $dir/socket -p $port -c fsync=off")
pg_ctl "${start_options[@]}" start
# Debian's superuser postgres has its database postgres, where psql goes
# unless told otherwise: so has the test's.
[ "$pg_user" = postgres ] || "${as_server[@]}" "$pg_bin/createdb" -h "$dir/socket" -p "$port" "$pg_user"

# The test's values, each in place of one of the guide's.
overrides="$(
  cat <<EOF
LAB_HOST=localhost
LAB_ADDRESS=127.0.0.1
LAB_PORT=$port
LAB_NETWORK=127.0.0.1/32
LAB_CA_DIR=$dir/ca
LAB_HANDOUT=$dir/handout
LAB_BACKUPS=$dir/backups
PG_USER=$pg_user
export PGHOST=$dir/socket PGPORT="\$LAB_PORT"
EOF
  [ -n "${as_server[*]}" ] || echo 'as_postgres() { "$@"; }'
)"

# The guide's blocks, in order, into one script.
script="$dir/guide.sh"
echo 'set -euo pipefail' >"$script"
tag="" block="" blocks=0
while IFS= read -r line; do
  if [ -z "$tag" ] && [[ "$line" =~ ^\`\`\`([a-z]+)$ ]]; then
    tag="${BASH_REMATCH[1]}" block=""
  elif [ -n "$tag" ] && [ "$line" = '```' ]; then
    case "$tag" in
      sh)
        printf '%s\n' "$block" >>"$script"
        if [ "$blocks" -eq 0 ]; then
          [[ "$block" == "# Set these for your laboratory."* ]] || fail "the guide's first block sets no values"
          for name in $(sed -n 's/^\(export \)\{0,1\}\([A-Z_]*\)=.*/\2/p; s/^\([a-z_]*\)() .*/\1/p' <<<"$overrides"); do
            grep -Eq "^(export )?$name=|^$name\(\)" <<<"$block" || fail "the guide sets no $name"
          done
          printf '%s\n' "$overrides" >>"$script"
        fi
        blocks=$((blocks + 1))
        ;;
      console)
        case "$block" in
          "apt-get install "*) echo ': the test made its server' >>"$script" ;;
          "systemctl restart "*) echo 'restart_server' >>"$script" ;;
          *) fail "no stand-in for the guide's command: $block" ;;
        esac
        ;;
    esac
    tag=""
  elif [ -n "$tag" ]; then
    block+="${block:+$'\n'}$line"
  fi
done <"$guide"

restart_server() { pg_ctl "${start_options[@]}" restart; }
mkdir "$dir/home"
export HOME="$dir/home" PATH="$bin:$PATH"
unset PGUSER PGDATABASE PGPASSWORD PGPASSFILE PGSSLMODE PGSSLROOTCERT LABDOCS_DATABASE
cd "$dir"
# shellcheck source=/dev/null
. "$script" >"$dir/guide.out"

# What the guide made.
staff="$LAB_LOGIN"
reader="${LAB_READERS%% *}"
as() { # LOGIN SETTING SCRIPT: the console as LOGIN, on its password line; output in $dir/out and $dir/err
  PGPASSFILE="$LAB_HANDOUT/$1.pgpass" labdocs-console --answer yes --home "$dir/$1" --database "$2" \
    >"$dir/out" 2>"$dir/err" <<<"$3"
}
setting_of() { echo "${LAB_SETTING/user=$LAB_LOGIN /user=$1 }"; }
refused() { # WHAT TEXT LOGIN SETTING: the console stops, saying TEXT
  ! as "$3" "$4" quit || fail "$1: the console started"
  grep -q "$2" "$dir/err" || fail "$1: not '$2': $(cat "$dir/err")"
}

documents="$(as_postgres psql -XAt -d "$LAB_DB" -c "SELECT count(*) FROM $LAB_SCHEMA.ris_doc")"
grep -qx "$documents" "$dir/guide.out" || fail "the backup restored does not hold the $documents documents"

printf 'a document of the staff\n' >"$dir/新文档.txt"
as "$staff" "$LAB_SETTING" "open 文档管理明细/2019年度
expect rows 2
run miNew
type edFileName $dir/新文档.txt
click btnSave
expect status 0
list
expect rows 3
expect cell 3 名称 新文档.txt" || fail "the staff's login did not add a document: $(cat "$dir/out" "$dir/err")"
grep -q "(已加密, 服务器已验证)" "$dir/err" || fail "the console does not say the server is verified: $(cat "$dir/err")"

as "$reader" "$(setting_of "$reader")" "open 文档管理明细/2019年度
expect rows 3
select 3
run 另存为
file $dir/copy
expect status 0" || fail "the reader's login did not save a copy: $(cat "$dir/out" "$dir/err")"
cmp -s "$dir/新文档.txt" "$dir/copy.txt" || fail "the reader's copy is not the document"
as "$reader" "$(setting_of "$reader")" "open 文档管理明细/2019年度
select 1
run miDelete
open 文档管理明细/2019年度
expect rows 3" || true
grep -q "permission denied" "$dir/out" || fail "the reader's delete was not refused: $(cat "$dir/out" "$dir/err")"
as "$staff" "$LAB_SETTING" "open 文档管理明细/2019年度
expect rows 3" || fail "the reader's login changed the documents: $(cat "$dir/out" "$dir/err")"

refused "unencrypted" "no encryption" "$staff" "${LAB_SETTING/sslmode=verify-full/sslmode=disable}"
openssl req -new -x509 -days 1 -noenc -subj "/CN=another laboratory's CA" \
  -keyout "$dir/other-ca.key" -out "$dir/other-ca.crt" 2>/dev/null
refused "another authority" "certificate verify failed" "$staff" \
  "$(sed "s|sslrootcert=[^ ]*|sslrootcert=$dir/other-ca.crt|" <<<"$LAB_SETTING")"
refused "another laboratory" "ask the administrator" "$staff" \
  "${LAB_SETTING/search_path=$LAB_SCHEMA,/search_path=$LAB2,}"
as wangwu "$(setting_of wangwu | sed "s/search_path=$LAB_SCHEMA,/search_path=$LAB2,/")" "tree" ||
  fail "the second laboratory's staff login cannot use it: $(cat "$dir/out" "$dir/err")"
echo "test-server-guide: the guide's $blocks blocks ran; its server works as it says"
