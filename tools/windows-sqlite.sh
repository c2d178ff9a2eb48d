#!/usr/bin/env bash
# Builds SQLite for 32-bit Windows as a DLL from Debian's own source package,
# with the options Debian builds its library with, into a folder of the build
# tree:  tools/windows-sqlite.sh OUTDIR C-COMPILER
# OUTDIR receives sqlite3.dll, its import library libsqlite3.dll.a and
# include/sqlite3.h. Nothing is done when they are there already. Needs the
# source entries of the apt sources (tools/deps.sh windows enables them) and
# tcl, which generates the single-file sqlite3.c.
set -euo pipefail
tools="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="$1"
cc="$2"
if [ -f "$out/sqlite3.dll" ] && [ -f "$out/libsqlite3.dll.a" ] && [ -f "$out/include/sqlite3.h" ]; then
  exit 0
fi
work="$out/work"
rm -rf "$work"
mkdir -p "$work/source" "$out/include"
cd "$work"
echo "-- SQLite for Windows: fetching Debian's source package" >&2
source "$tools/debian-source.sh"
debian_source sqlite3 source/tree
echo "-- SQLite for Windows: generating sqlite3.c from $(ls sqlite3_*.dsc)" >&2
mkdir -p amalgamation
(cd amalgamation && ../source/tree/configure --disable-tcl >configure.log 2>&1 && make sqlite3.c >make.log 2>&1) ||
  { tail -n 20 amalgamation/configure.log amalgamation/make.log >&2 2>/dev/null; exit 1; }
echo "-- SQLite for Windows: compiling sqlite3.dll" >&2
# Debian's options (debian/rules), so that both systems run the same engine.
"$cc" -O2 -fno-strict-aliasing \
  -DSQLITE_SECURE_DELETE -DSQLITE_ENABLE_COLUMN_METADATA \
  -DSQLITE_ENABLE_FTS3 -DSQLITE_ENABLE_FTS3_PARENTHESIS \
  -DSQLITE_ENABLE_RTREE=1 -DSQLITE_SOUNDEX=1 \
  -DSQLITE_ENABLE_UNLOCK_NOTIFY \
  -DSQLITE_OMIT_LOOKASIDE=1 -DSQLITE_ENABLE_DBSTAT_VTAB \
  -DSQLITE_ALLOW_ROWID_IN_VIEW \
  -DSQLITE_ENABLE_UPDATE_DELETE_LIMIT=1 \
  -DSQLITE_ENABLE_LOAD_EXTENSION \
  -DSQLITE_ENABLE_JSON1 \
  -DSQLITE_LIKE_DOESNT_MATCH_BLOBS \
  -DSQLITE_THREADSAFE=1 \
  -DSQLITE_ENABLE_FTS3_TOKENIZER=1 \
  -DSQLITE_USE_URI=1 \
  -DSQLITE_MAX_SCHEMA_RETRY=25 \
  -DSQLITE_ENABLE_PREUPDATE_HOOK \
  -DSQLITE_ENABLE_SESSION \
  -DSQLITE_ENABLE_STMTVTAB \
  -DSQLITE_MAX_VARIABLE_NUMBER=250000 \
  "-DSQLITE_API=__declspec(dllexport)" \
  -shared -static-libgcc -o sqlite3.dll amalgamation/sqlite3.c \
  -Wl,--out-implib,libsqlite3.dll.a
cp amalgamation/sqlite3.h amalgamation/sqlite3ext.h "$out/include/"
mv libsqlite3.dll.a sqlite3.dll "$out/"
cd "$out"
rm -rf "$work"
