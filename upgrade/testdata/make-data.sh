#!/usr/bin/env bash
# Makes one earlier version's upgrade test data with that version's own
# console, plug-in and document store (README.md beside this script).
#
#   make-data.sh OUT BIN [--server SETTING SCHEMA] [--no-directory] [--revise] [--no-add]
#
# OUT      the folder to fill: home/ (SQLite) or dump.sql (server),
#          listing.txt and expected.txt
# BIN      the old build's bin folder (labdocs-console, labdocs.so, LAB_DOC.so)
# --server SETTING SCHEMA  the old console works on the schema SCHEMA of a
#          server (SETTING, the owner's login, names it first on the search
#          path) instead of a home's labdocs.db; the schema is then dumped
#          into dump.sql, its name written @SCHEMA@
# --no-directory  the version still let a menu opened on no row add a
#          document, filed in no directory: add one
# --revise the version has "修改文档": keep a revision of 质量手册第三版.txt
# --no-add the version could not add documents yet: the demo's alone
#
# The home is made at the fixed path below, which the cache's records of
# the copies name; the test puts the data back under its own folder.
set -euo pipefail
out="$1" bin="$2"; shift 2
server="" no_directory=0 revise=0 add=1
while [ $# -gt 0 ]; do
  case "$1" in
    --server) server="$2" schema="$3"; shift 2 ;;
    --no-directory) no_directory=1 ;;
    --revise) revise=1 ;;
    --no-add) add=0 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
home=/tmp/labdocs-upgrade-home
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
rm -rf "$home" "$out"
mkdir -p "$out"
options=(--home "$home" --computer UPGRADE-PC --user-id 7 --user-name 张三)
[ -n "$server" ] && options+=(--database "$server")
run() {  # SCRIPT_TEXT: runs the old console; its transcript goes to stdout
  LABDOCS_OPEN_COMMAND=true "$bin/labdocs-console" "${options[@]}" --script - <<<"$1"
}
digest() { sha256sum "$1" | cut -d' ' -f1; }

# The demo, and the tree it shows.
tree_out="$(run tree)"

# A document under a Chinese name whose GBK bytes hold ASCII punctuation as
# second bytes: 淺 is 9C 5C ('\'), 亅 is 81 7C ('|'). Its copy in the
# cache is the one the test edits (the demo's 内审检查表.txt where the
# version could not add).
cached=(内审检查表.txt "文档管理明细/#4" 1)
if [ "$add" = 1 ]; then
  cached=(淺亅表.txt "论文管理明细/#2" 1)
  printf '淺亅表: 第一行\nsecond line\n' > "$work/淺亅表.txt"
  # Added on the directory's row of its category: every version files it there.
  run "open 论文管理明细
select 2
run miNew
click btnOpenFile
file $work/淺亅表.txt
type mmComment 乗表的说明
click btnSave
open 论文管理明细/2020年论文
expect rows 1" >/dev/null
fi

if [ "$no_directory" = 1 ]; then
  printf 'filed nowhere\n' > "$work/无目录.txt"
  run "open 文档管理明细
select none
run miNew
click btnOpenFile
file $work/无目录.txt
type mmComment 无目录的文档
click btnSave" >/dev/null
  echo "no-directory 无目录.txt $(digest "$work/无目录.txt")" >> "$work/facts"
fi

# A cache copy: the document opened (fetched into DocCache).
run "open ${cached[1]}
select ${cached[2]}
run miOpenFile" >/dev/null

if [ "$revise" = 1 ]; then
  # The revision: the copy in the cache edited, then stored by "修改文档".
  run "open 质量管理明细/质量手册
select 1
run miSaveAs
file $work/before" >/dev/null
  before="$(digest "$work/before.txt")"
  run "open 质量管理明细/质量手册
select 1
run miOpenFile" >/dev/null
  printf '第三章 修订\n' >> "$home/DocCache/质量手册第三版.txt"
  # The plug-in asks whether to store the newer local copy first (yes),
  # where it looks for one.
  revise="open 质量管理明细/质量手册
select 1
run 修改文档"
  run "$revise
yes
click BtnSave" >/dev/null 2>&1 || run "$revise
click BtnSave" >/dev/null
  # Every kept revision as the old version recorded it (the console shows
  # at most 40 characters of a cell: the digest in two halves).
  run "sql SELECT LABDOC_ID, substr(SHA256, 1, 32) AS H1, substr(SHA256, 33) AS H2 FROM DB_FILE_CONTENT WHERE REPLACEDTIME IS NOT NULL ORDER BY CONTENT_ID" \
    | awk '$1 ~ /^[0-9]+$/ && NF == 4 { print "revision " $2 " " $3 $4 }' > "$work/revisions"
  # The first one is the content before the edit.
  [ "$(head -1 "$work/revisions" | cut -d' ' -f3)" = "$before" ] || { echo "the revision is not the content before" >&2; exit 1; }
  cat "$work/revisions" >> "$work/facts"
fi

# Every directory's listing, as the old console shows it, and the digest of
# every listed document's content, saved through "另存为".
lists=()
category=""
while IFS= read -r line; do
  if [[ "$line" =~ ^\ {6}[^\ ] ]]; then
    count=$((count + 1)); lists+=("$category/#$count")
  elif [[ "$line" =~ ^\ {4}[^\ ] ]]; then
    category="${line#    }"; count=0; lists+=("$category")
  fi
done <<<"$tree_out"
script=""
for path in "${lists[@]}"; do script+="open $path"$'\n'; done
run "$script" > "$out/listing.txt"
saves=""
n=0
for path in "${lists[@]}"; do
  [[ "$path" == */#* ]] || continue
  rows="$(run "open $path" | sed -n 's/^(\([0-9]*\) rows\?)$/\1/p')"
  for ((row = 1; row <= rows; row++)); do
    n=$((n + 1))
    mkdir -p "$work/save/$n"
    run "open $path
select $row
run miSaveAs
file $work/save/$n/copy" >/dev/null
    saves+="save $path $row $(digest "$work/save/$n"/copy*)"$'\n'
  done
done
{
  echo "# What the old console listed and fetched (make-data.sh); the listings are in listing.txt."
  printf '%s' "$saves"
  cat "$work/facts" 2>/dev/null || true
  echo "cache ${cached[*]}"
} > "$out/expected.txt"
if [ -n "$server" ]; then
  # Plain SQL that any client runs (no COPY blocks, no psql commands), for a
  # schema of another name.
  pg_dump -d "$server" -n "$schema" --no-owner --no-privileges --inserts \
    | grep -v -e '^\\restrict' -e '^\\unrestrict' -e "^CREATE SCHEMA $schema;" -e '^--' \
    | sed -e "s/\b$schema\b/@SCHEMA@/g" | cat -s > "$out/dump.sql"
else
  # Smaller files: the database's free pages go (VACUUM keeps user_version).
  for db in "$home"/*.db; do sqlite3 "$db" VACUUM; done
  cp -a "$home" "$out/home"
fi
