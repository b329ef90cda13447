#!/bin/sh
# Fetch Debian's libpng source tarball for the Windows builds (libpng has no
# MinGW package; cmake/libpng-mingw.cmake compiles it per target).
# Idempotent; run as root. The tarball lands in VELTRANE_LIBPNG_CACHE
# (default /var/cache/veltrane/libpng).
set -eu

cache="${VELTRANE_LIBPNG_CACHE:-/var/cache/veltrane/libpng}"

have_tarball() {
  ls "$cache"/libpng1.6_*.orig.tar.* >/dev/null 2>&1
}

# A download cut short must not count as cached.
for t in "$cache"/libpng1.6_*.orig.tar.*; do
  [ -f "$t" ] || continue
  tar -tf "$t" >/dev/null 2>&1 || { echo "fetch-libpng: dropping damaged $t"; rm -f "$t"; }
done

if have_tarball; then
  echo "fetch-libpng: source already in $cache"
  exit 0
fi

# apt-get source needs deb-src entries; add them beside the binary ones when
# nothing has enabled any yet.
if ! grep -rqsE '^[[:space:]]*(Types:.*deb-src|deb-src[[:space:]])' \
    /etc/apt/sources.list /etc/apt/sources.list.d/; then
  src=/etc/apt/sources.list.d/debian-src.sources
  echo "fetch-libpng: enabling Debian source entries in $src"
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$src"
  else
    . /etc/os-release
    cat > "$src" <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: ${VERSION_CODENAME} ${VERSION_CODENAME}-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: ${VERSION_CODENAME}-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  fi
  # A list that fails to arrive (a mirror mid-sync) is no reason to stop.
  apt-get update || true
fi

mkdir -p "$cache"
cd "$cache"
# The .dsc of a security update can be missing while the orig tarball still
# arrives, so the exit status alone does not decide.
apt-get source --download-only libpng1.6 || true
if ! have_tarball; then
  # Source lists may be stale.
  apt-get update || true
  apt-get source --download-only libpng1.6 || true
fi
if ! have_tarball; then
  echo "fetch-libpng: could not obtain libpng1.6 source" >&2
  exit 1
fi
echo "fetch-libpng: $(ls "$cache"/libpng1.6_*.orig.tar.*)"
