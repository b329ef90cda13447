#!/usr/bin/env bash
# scripts/install-deps.sh against a mirror in the middle of a sync: apt-get
# update fails on one index every time, and wine32:i386 cannot be installed.
# The script must go on, install the rest, name what it could not install
# and why, and succeed; a required package that fails must stop it.
set -uo pipefail
src="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fails=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; fails=$((fails + 1)); fi
}

mkdir -p "$work/bin" "$work/sources" "$work/libpng"
# Stand-ins. dpkg-query says every package is installed except those listed
# in $work/absent, and lists the instances of a name that $work/instances
# holds for several architectures ("name status arch" lines), as dpkg-query
# does once other architectures are enabled; apt-get logs its calls.
cat >"$work/bin/dpkg-query" <<'SH'
#!/bin/sh
for a; do p=$a; done
name=${p%%:*}
if [ -f "$WORK/instances" ] && grep -q "^$name " "$WORK/instances"; then
  case "$p" in *:*) arch=${p#*:} ;; *) arch="" ;; esac
  grep "^$name " "$WORK/instances" | while read -r n status a; do
    if [ -z "$arch" ] || [ "$a" = "$arch" ]; then echo "$status $a"; fi
  done
  exit 0
fi
if grep -qxF "$p" "$WORK/absent"; then echo "unknown"; else printf installed; fi
SH
cat >"$work/bin/dpkg" <<'SH'
#!/bin/sh
[ "$1" = --print-foreign-architectures ] && printf 'i386\narm64\n'
[ "$1" = --print-architecture ] && echo amd64
exit 0
SH
cat >"$work/bin/apt-get" <<'SH'
#!/bin/sh
echo "apt-get $*" >>"$WORK/apt.log"
case "$1" in
  update)
    echo "Err:9 http://deb.debian.org/debian-security bookworm-security/main i386 Packages"
    echo "  File has unexpected size (374820 != 376004). Mirror sync in progress?"
    echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
    exit 100 ;;
  install)
    for a; do
      if grep -qxF "$a" "$WORK/uninstallable"; then
        echo "The following packages have unmet dependencies:"
        echo " libcurl4:i386 : Depends: libbrotli1:i386 (>= 0.6.0) but it is not going to be installed"
        echo "E: Unable to correct problems, you have held broken packages."
        exit 100
      fi
    done
    for a; do case "$a" in -*) ;; *) echo "$a" >>"$WORK/installed" ;; esac; done
    exit 0 ;;
esac
exit 0
SH
printf '#!/bin/sh\necho de_DE.utf8\n' >"$work/bin/locale"
chmod +x "$work/bin/"*
# A cached libpng source, so the fetch step has nothing to download.
mkdir -p "$work/tarball/libpng-1.6.39"
tar -czf "$work/libpng/libpng1.6_1.6.39.orig.tar.gz" -C "$work/tarball" libpng-1.6.39
printf 'Types: deb deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\n' \
  >"$work/sources/debian.sources"

run() {
  : >"$work/apt.log"
  : >"$work/installed"
  WORK="$work" PATH="$work/bin:$PATH" VELTRANE_APT_SOURCES_DIR="$work/sources" VELTRANE_LIBPNG_CACHE="$work/libpng" \
    VELTRANE_APT_RETRY_PAUSE=0 bash "$src/scripts/install-deps.sh" >"$work/out" 2>&1
}
# Only runs as root (or with sudo): the script asks for root before apt-get.
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: the script under test needs root"
  exit 0
fi

printf 'wine32:i386\nxvfb\nlibgtest-dev\n' >"$work/absent"
echo "wine32:i386" >"$work/uninstallable"
run
rc=$?
cat "$work/out"
check "an optional package that cannot be installed does not fail the script" test $rc -eq 0
check "apt-get update is retried" test "$(grep -c '^apt-get update' "$work/apt.log")" -eq 3
check "it goes on with the lists that did arrive" grep -q "going on with those that did" "$work/out"
check "the package and the apt error are named in one line" \
  grep -qx "install-deps: could not install wine32:i386: libcurl4:i386 : Depends: libbrotli1:i386 (>= 0.6.0) but it is not going to be installed" "$work/out"
check "the other missing packages are installed" \
  bash -c "grep -qx xvfb '$work/installed' && grep -qx libgtest-dev '$work/installed'"
check "the summary says the dependent tests are skipped" grep -q "will be reported as skipped" "$work/out"

# A package the build cannot do without.
printf 'cmake\nxvfb\n' >"$work/absent"
echo "cmake" >"$work/uninstallable"
run
rc=$?
check "a required package that cannot be installed fails the script" test $rc -ne 0
check "and says which one" grep -q "cannot go on without: cmake" "$work/out"
check "the optional one is still installed" grep -qx xvfb "$work/installed"

# With arm64 enabled a bare name has two instances: the native one decides.
rm -f "$work/uninstallable"
: >"$work/absent"
printf 'libpng-dev installed arm64\nlibpng-dev not-installed amd64\nzlib1g-dev installed amd64\nzlib1g-dev installed arm64\nfonts-liberation2 installed all\n' \
  >"$work/instances"
run
check "a bare name is missing when only another architecture's package is installed" grep -qx libpng-dev "$work/installed"
check "the arm64 one it has is not installed again" bash -c "! grep -qx libpng-dev:arm64 '$work/installed'"
check "a name installed for both is present" bash -c "! grep -qx zlib1g-dev '$work/installed'"
check "an architecture-free package counts as this machine's" bash -c "! grep -qx fonts-liberation2 '$work/installed'"
rm -f "$work/instances"

[ $fails -eq 0 ] || { echo "$fails check(s) failed"; exit 1; }
