#!/usr/bin/env bash
# Builds PostgreSQL's client library for 32-bit Windows as libpq.dll from
# Debian's own source package (the one Debian's libpq comes from), into a
# folder of the build tree:  tools/windows-libpq.sh OUTDIR C-COMPILER
# OUTDIR receives libpq.dll, its import library libpq.dll.a and include/ with
# libpq-fe.h and the headers it includes. Nothing is done when they are there
# already. Needs the source entries of the apt sources (tools/deps.sh windows
# enables them). Built without OpenSSL, Kerberos, LDAP and zlib: connections
# are unencrypted (sslmode=require is refused), and passwords go by SCRAM or
# MD5 as the server asks.
set -euo pipefail
out="$1"
cc="$2"
if [ -f "$out/libpq.dll" ] && [ -f "$out/libpq.dll.a" ] && [ -f "$out/include/libpq-fe.h" ]; then
  exit 0
fi
work="$out/work"
rm -rf "$work"
mkdir -p "$work" "$out/include"
cd "$work"
package="$(apt-cache showsrc libpq-dev | awk '/^Package:/ {print $2; exit}')"
echo "-- libpq for Windows: fetching Debian's source package $package" >&2
# The versions apt lists, newest first: a mirror may list one that it no
# longer serves.
fetched=""
for version in $(apt-cache showsrc "$package" | awk '/^Version:/ {print $2}' | sort -rV); do
  if apt-get source --download-only "$package=$version" >apt-source.log 2>&1; then
    fetched="$version"
    break
  fi
done
[ -n "$fetched" ] || { cat apt-source.log >&2; exit 1; }
dsc="$(ls "${package}"_*.dsc | head -n 1)"
dpkg-source -x "$dsc" tree >dpkg-source.log 2>&1 || { cat dpkg-source.log >&2; exit 1; }
echo "-- libpq for Windows: compiling libpq.dll from $dsc" >&2
mkdir -p build
(cd build &&
  ../tree/configure --host="$("$cc" -dumpmachine)" CC="$cc" --without-readline --without-zlib --without-icu \
    --without-openssl --without-gssapi --without-ldap --without-llvm --disable-nls >configure.log 2>&1 &&
  make -C src/interfaces/libpq -j2 >make.log 2>&1) ||
  { tail -n 20 build/configure.log build/make.log >&2 2>/dev/null; exit 1; }
cp tree/src/interfaces/libpq/libpq-fe.h tree/src/include/postgres_ext.h build/src/include/pg_config_ext.h \
  "$out/include/"
cp build/src/interfaces/libpq/libpq.dll "$out/"
cp build/src/interfaces/libpq/libpq.a "$out/libpq.dll.a"
cd "$out"
rm -rf "$work"
