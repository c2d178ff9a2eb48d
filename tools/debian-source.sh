# Sourced by the scripts that build the Windows build's libraries from
# Debian's source packages (tools/windows-*.sh).
#
# debian_source PACKAGE FOLDER: fetches the source package into the current
# folder and unpacks it, with Debian's patches, into FOLDER. The versions
# apt lists are tried newest first: a mirror may list one that it no longer
# serves (the security archive's newest, say). Needs apt's source entries.
debian_source() {
  local package=$1 folder=$2 version
  for version in $(apt-cache showsrc "$package" | awk '/^Version:/ {print $2}' | sort -rV); do
    if apt-get source --download-only "$package=$version" >"apt-$package.log" 2>&1; then
      dpkg-source -x "$(ls "${package}"_*.dsc | head -n 1)" "$folder" >"dpkg-$package.log" 2>&1 ||
        { cat "dpkg-$package.log" >&2; return 1; }
      return 0
    fi
  done
  cat "apt-$package.log" >&2 2>/dev/null || echo "apt lists no source of $package" >&2
  return 1
}
