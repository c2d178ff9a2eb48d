#!/usr/bin/env bash
# Builds PostgreSQL's client library for 32-bit Windows as libpq.dll from
# Debian's own source packages (the one Debian's libpq comes from, and
# OpenSSL's for encrypted connections, linked into it), into a folder of the
# build tree:  tools/windows-libpq.sh OUTDIR C-COMPILER
# OUTDIR receives libpq.dll, its import library libpq.dll.a and include/ with
# libpq-fe.h and the headers it includes. Nothing is done when they are there
# already. Needs the source entries of the apt sources (tools/deps.sh windows
# enables them) and perl, which OpenSSL's configuration is written in.
# Without Kerberos, LDAP and zlib: passwords go by SCRAM or MD5 as the
# server asks.
set -euo pipefail
tools="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="$1"
cc="$2"
if [ -f "$out/libpq.dll" ] && [ -f "$out/libpq.dll.a" ] && [ -f "$out/include/libpq-fe.h" ]; then
  exit 0
fi
host="$("$cc" -dumpmachine)"
work="$out/work"
rm -rf "$work"
mkdir -p "$work" "$out/include"
cd "$work"

source "$tools/debian-source.sh"

echo "-- libpq for Windows: fetching Debian's source package openssl" >&2
debian_source openssl openssl
echo "-- libpq for Windows: compiling OpenSSL's libraries" >&2
# Static libraries, without the assembler routines (the 32-bit ones do not
# assemble for Windows with this toolchain).
(cd openssl &&
  ./Configure mingw no-shared no-asm no-tests no-engine no-dso no-module --cross-compile-prefix="$host-" \
    --prefix="$work/ssl" --libdir=lib >configure.log 2>&1 &&
  make build_libs -j2 >make.log 2>&1 && make install_dev >install.log 2>&1) ||
  { tail -n 20 openssl/configure.log openssl/make.log openssl/install.log >&2 2>/dev/null; exit 1; }

package="$(apt-cache showsrc libpq-dev | awk '/^Package:/ {print $2; exit}')"
echo "-- libpq for Windows: fetching Debian's source package $package" >&2
debian_source "$package" tree
echo "-- libpq for Windows: compiling libpq.dll" >&2
mkdir -p build
# OpenSSL's static libraries need these of the system's; libpq's link line
# ends with LIBS.
(cd build &&
  ../tree/configure --host="$host" CC="$cc" --without-readline --without-zlib --without-icu \
    --with-ssl=openssl --without-gssapi --without-ldap --without-llvm --disable-nls \
    CPPFLAGS="-I$work/ssl/include" LDFLAGS="-L$work/ssl/lib" LIBS="-lcrypt32 -lgdi32 -luser32 -lws2_32" \
    >configure.log 2>&1 &&
  make -C src/interfaces/libpq -j2 >make.log 2>&1) ||
  { tail -n 20 build/configure.log build/make.log >&2 2>/dev/null; exit 1; }
cp tree/src/interfaces/libpq/libpq-fe.h tree/src/include/postgres_ext.h build/src/include/pg_config_ext.h \
  "$out/include/"
cp build/src/interfaces/libpq/libpq.dll "$out/"
cp build/src/interfaces/libpq/libpq.a "$out/libpq.dll.a"
cd "$out"
rm -rf "$work"
