#!/usr/bin/env bash
# The package stage: builds the Debian package (tools/package-deb.sh),
# installs it as a user would (apt-get install ./labdocs_VERSION_ARCH.deb,
# which brings its dependencies), and runs the installed programs from the
# PATH, from outside the source tree, on a new home folder: both say the
# project's version, the console runs a script that lists a directory and
# saves a document as a file (the plug-in and the document store loaded
# from the installed folder), labdocs-admin checks the home, and the console
# reaches the runtime's server client for a --database. The package is
# purged at the end, also when a check fails, so that the machine is left as
# it was (a package that was only removed stays in dpkg's list for its
# maintainer scripts); a labdocs package installed before is not touched
# (the stage refuses to run).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

started=$SECONDS
version="$(sed -n 's/^project(labdocs VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
if dpkg-query -W -f='${Status}' labdocs 2>/dev/null | grep -q "install ok installed"; then
  echo "tools/test-package.sh: a labdocs package is installed already; remove it first" >&2
  exit 1
fi
deb="$(tools/package-deb.sh)"
built=$SECONDS
fail() { echo "tools/test-package.sh: $*" >&2; exit 1; }
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version is not the project's $version"

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
work="$(mktemp -d)"
remove() {
  $sudo apt-get purge -y -q labdocs >>"$work/apt.log" 2>&1 </dev/null ||
    { tail -n 20 "$work/apt.log" >&2; echo "tools/test-package.sh: removing the package failed" >&2; }
  rm -rf "$work"
}
trap remove EXIT
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get install -y -q --no-install-recommends "$deb" >"$work/apt.log" 2>&1 </dev/null ||
  { tail -n 20 "$work/apt.log" >&2; fail "installing $deb failed"; }

cd /
for program in labdocs-console labdocs-admin; do
  [ "$(command -v "$program")" = "/usr/bin/$program" ] && [ -L "/usr/bin/$program" ] ||
    fail "$program is not a link in /usr/bin"
  [ "$("$program" --version)" = "$program $version" ] || fail "$program --version does not say $version"
done
# Every installed binary finds every library it needs.
if ldd /usr/lib/labdocs/* | grep -q 'not found'; then ldd /usr/lib/labdocs/* >&2; fail "a library is missing"; fi

home="$work/home"
labdocs-console --home "$home" --script - >"$work/console.out" 2>"$work/console.err" <<SCRIPT ||
tree
open 文档管理明细/2019年度
expect rows 2
select 2
run miSaveAs
expect filename 仪器校准记录 2019; 第2版.csv
file $work/副本.csv
expect status 0
quit
SCRIPT
  { cat "$work/console.out" "$work/console.err" >&2; fail "the console's script failed"; }
grep -qx '  文档管理' "$work/console.out" || { cat "$work/console.out" >&2; fail "the console showed no view tree"; }
[ -s "$work/副本.csv" ] || fail "the document was not saved"
labdocs-admin --home "$home" check >"$work/admin.out" 2>&1 || { cat "$work/admin.out" >&2; fail "labdocs-admin check failed"; }

# A server that is not there: the runtime loads its server client, and libpq
# names the socket it tried (a build without them would refuse the setting).
labdocs-console --home "$work/server-home" --database "host=$work/no-server dbname=labdocs" --script - \
  </dev/null >"$work/server.out" 2>"$work/server.err" && fail "the console opened a server that is not there"
grep -qF "$work/no-server/.s.PGSQL." "$work/server.err" || { cat "$work/server.err" >&2; fail "libpq did not answer"; }

remove
trap - EXIT
echo "Package stage: $(basename "$deb") built in $((built - started)) s, installed, run and purged; $((SECONDS - started)) s in all"
