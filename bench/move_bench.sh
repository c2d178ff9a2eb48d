#!/usr/bin/env bash
# A generated laboratory moved to a server and back, timed and compared, as
# an administrator moves one: a console's home with the demo and DOCUMENTS
# (default 10,000) more documents stored through the document store (every
# third revised twice, so two revisions kept each), each filed into one of
# the directories of a thousand with its record and audit row; then
#   move-to-server  labdocs-admin --home HOME move-to-server SERVER (as the
#                   laboratory's owner, who makes its tables),
#   move-to-home    labdocs-admin --database SERVER move-to-home BACK (as a
#                   member of its staff),
# each checked by the program before it reports done, and the moved-back
# home compared with the first one table by table (every row of the tree,
# the directories, documents, contents, records and audit rows) and by
# every content's digest (labdocs-admin check reads each whole on both).
# A throw-away server runs in the work folder (tools/pg-server.sh).
#
#   bench/move_bench.sh [bin folder] [work folder]
# Defaults: build/release/bin and a new folder under $TMPDIR (or /tmp),
# removed afterwards.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bin=$(realpath "${1:-build/release/bin}")
documents=${DOCUMENTS:-10000}
port=${PORT:-54371}
if [ -n "${2:-}" ]; then
  work=$(realpath "$2"); mkdir -p "$work"; keep=1
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/move_bench.XXXXXX"); keep=0
  chmod 755 "$work"  # the server may run as a user of its own
fi
cleanup() {
  tools/pg-server.sh stop "$work/server" > /dev/null 2>&1 || true
  [ "$keep" = 1 ] || rm -rf "$work"
}
trap cleanup EXIT
for program in labdocs-admin labdocs-console labdoc_store_run; do
  [ -x "$bin/$program" ] || { echo "no $bin/$program: build the release preset first" >&2; exit 1; }
done
export LD_LIBRARY_PATH="$bin${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
export PGOPTIONS="-c client_min_messages=warning"
now() { date +%s.%N; }
seconds() { printf '%.1f' "$(echo "$(now) - $1" | bc -l)"; }

home="$work/home"
back="$work/back"
rm -rf "$back"
# The laboratory, made once in a work folder that is kept.
if [ ! -f "$home/labdocs.db" ]; then
  "$bin/labdocs-console" --home "$home" --script /dev/null > /dev/null
  mkdir -p "$work/cache"
  start=$(now)
  read -r _ first last < <(LABDOCS_DATABASE="$home/labdocs.db" "$bin/labdoc_store_run" grow "$work/cache" "$documents")
  echo "stored $documents documents ($first to $last) through the store in $(seconds "$start") s"
  # Filed as the plug-in files them: a record in a directory of a thousand,
  # and an audit row.
  sqlite3 "$home/labdocs.db" "
    INSERT INTO Lab_List(TV_ID, TV_Name, DocType)
      SELECT 100 + value, '生成 ' || value, '文档管理明细' FROM generate_series(0, ($documents - 1) / 1000);
    INSERT INTO RIS_DOC(ID, LABDOC_ID, DocType, DESCS, FstAuthor, UserId)
      SELECT 1000 + LABDOC_ID, LABDOC_ID, CAST(100 + (LABDOC_ID - $first) / 1000 AS TEXT), '说明 ' || LABDOC_ID,
             '张三', 'admin' FROM DB_FILE_STORAGE WHERE LABDOC_ID >= $first;
    INSERT INTO DB_FILE_RECORD(FileTableName, FileTableID, LABDOC_ID, SRCFILENAME, HOSTNAME, USERID, USERNAME, MODIFYTIME)
      SELECT 'RIS_DOC', 1000 + LABDOC_ID, LABDOC_ID, FILE_NAME, 'LAB-PC01', 'admin', '系统管理员', STOREDTIME
      FROM DB_FILE_STORAGE WHERE LABDOC_ID >= $first;"
fi

tools/pg-server.sh start "$work/server" "$port" > /dev/null
owner="$(cat "$work/server/conninfo") options='-csearch_path=moved,public'"
psql -q -X -v ON_ERROR_STOP=1 "$owner" -c "DROP SCHEMA IF EXISTS moved CASCADE" -c "CREATE SCHEMA moved"
staff="$owner user=staff1"

start=$(now)
"$bin/labdocs-admin" --home "$home" move-to-server "$owner" > "$work/to-server.out"
to_server=$(seconds "$start")
start=$(now)
"$bin/labdocs-admin" --database "$staff" move-to-home "$back" > "$work/to-home.out"
to_home=$(seconds "$start")

# Every row of the six tables, in key order, the same before and after.
rows() {
  sqlite3 "$1/labdocs.db" "
    SELECT * FROM Pacs_MMCTreeViewConfig ORDER BY TV_ID; SELECT * FROM Lab_List ORDER BY TV_ID;
    SELECT * FROM DB_FILE_STORAGE ORDER BY LABDOC_ID; SELECT * FROM DB_FILE_CONTENT WHERE PENDING = 0 ORDER BY CONTENT_ID;
    SELECT * FROM RIS_DOC ORDER BY ID; SELECT * FROM DB_FILE_RECORD ORDER BY ID;" | sha256sum | cut -d' ' -f1
}
[ "$(rows "$home")" = "$(rows "$back")" ] || { echo "the moved-back home differs" >&2; exit 1; }
"$bin/labdocs-admin" --home "$back" check > "$work/check.out" || { cat "$work/check.out" >&2; exit 1; }
counts=$(sqlite3 "$back/labdocs.db" "SELECT (SELECT count(*) FROM DB_FILE_STORAGE) || ' documents, ' ||
  (SELECT count(*) FROM DB_FILE_CONTENT WHERE REPLACEDTIME IS NOT NULL) || ' kept revisions, ' ||
  (SELECT count(*) FROM DB_FILE_RECORD) || ' audit rows'")
echo "laboratory: $counts"
echo "move-to-server: $to_server s; move-to-home: $to_home s (each with its check); the same rows and digests"
