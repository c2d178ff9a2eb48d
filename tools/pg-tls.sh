#!/usr/bin/env bash
# The certificates of the tests' server (tools/pg-server.sh): a certificate
# authority of the tests' own, standing for a laboratory's, and the server's
# certificate signed by it for the names the clients reach it by
# (DNS:localhost, IP:127.0.0.1), so that a client demanding a verified
# server (sslmode=verify-full) can check it; and a second authority that
# signed nothing of this server's, which a client must not take as the
# server's.
#
#   tools/pg-tls.sh DIR
#       DIR/cluster is the server's cluster; run as its owner. Writes
#       DIR/root.crt (the authority's certificate: what a client's
#       sslrootcert names), DIR/other-root.crt (the other authority's), the
#       cluster's server.crt and server.key, and ssl = on in its
#       postgresql.conf; the authorities' keys stay in DIR/tls. Certificates
#       that are already the authority's with those names are kept; any
#       others (the self-signed one of clusters made before) are made anew,
#       and a server that is running loads them.
set -euo pipefail
dir="$(cd "${1:?folder}" && pwd)"
cluster="$dir/cluster"
tls="$dir/tls"

current() {
  [ -f "$dir/root.crt" ] && [ -f "$dir/other-root.crt" ] && [ -f "$cluster/server.key" ] &&
    openssl verify -CAfile "$dir/root.crt" "$cluster/server.crt" >/dev/null 2>&1 &&
    openssl x509 -in "$cluster/server.crt" -noout -ext subjectAltName 2>/dev/null |
      grep -q "DNS:localhost, IP Address:127.0.0.1"
}

if ! current; then
  umask 077
  mkdir -p "$tls"
  for authority in ca:"labdocs tests' CA" other:"another laboratory's CA"; do
    openssl req -new -x509 -days 3650 -nodes -subj "/CN=${authority#*:}" \
      -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign \
      -keyout "$tls/${authority%%:*}.key" -out "$tls/${authority%%:*}.crt" 2>"$tls/openssl.log"
  done
  printf '%s\n' "subjectAltName = DNS:localhost, IP:127.0.0.1" "basicConstraints = CA:FALSE" \
    "extendedKeyUsage = serverAuth" >"$tls/server.ext"
  openssl req -new -nodes -subj /CN=localhost -keyout "$tls/server.key" -out "$tls/server.csr" 2>"$tls/openssl.log"
  openssl x509 -req -days 3650 -in "$tls/server.csr" -CA "$tls/ca.crt" -CAkey "$tls/ca.key" \
    -set_serial "0x$(openssl rand -hex 8)" -extfile "$tls/server.ext" -out "$tls/server.crt" 2>"$tls/openssl.log"
  install -m 600 "$tls/server.key" "$cluster/server.key"
  install -m 644 "$tls/server.crt" "$cluster/server.crt"
  install -m 644 "$tls/ca.crt" "$dir/root.crt"
  install -m 644 "$tls/other.crt" "$dir/other-root.crt"
  grep -qx "ssl = on" "$cluster/postgresql.conf" || echo "ssl = on" >>"$cluster/postgresql.conf"
  bin="$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)"
  if "$bin/pg_ctl" -D "$cluster" status >/dev/null 2>&1; then "$bin/pg_ctl" -D "$cluster" reload >/dev/null; fi
fi
