#!/usr/bin/env bash
# The Debian package as a musician installs it: built twice (same bytes),
# lintian finds no errors, installed (with apt-get as root, else into a
# scratch root with dpkg), its plug-ins load in the test hosts from the
# system folders, and purging it leaves those folders as they were.
#   deb_test.sh SOURCE_DIR
set -uo pipefail
src="$1"
cd "$src"
work="$(mktemp -d)"
chmod 755 "$work"  # apt reads the package as its own user
trap 'rm -rf "$work"' EXIT
source "$src/tests/scripts/checks.sh"
manual=build/linux/manual/Veltrane-Manual.html
command -v lintian >/dev/null || { echo "skipped: lintian is not installed (package lintian)"; exit 77; }
if [ ! -f build/linux/Veltrane.so ] || [ ! -f "$manual" ]; then
  echo "skipped: build the linux tree and the manual first (scripts/release.sh builds both)"
  exit 77
fi

make_deb() {
  /usr/bin/python3 tools/release/debian_package.py --version "$version" --out "$1" --manual "$manual" \
    --docs docs/manual --epoch 1700000000 build/linux >/dev/null
}
make_deb "$work/a" && make_deb "$work/b" || { echo "FAILED: the package could not be built"; exit 1; }
deb=$(ls "$work"/a/veltrane_*_amd64.deb)
check "building twice gives the same bytes" cmp "$deb" "$work/b/$(basename "$deb")"

# lintian leaves files in TMPDIR behind.
lint=$(TMPDIR="$work" lintian "$deb" 2>&1)
check "lintian reports no errors" test $? -eq 0
sed 's/^/  lintian: /' <<<"$lint"

listing=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
for f in usr/lib/vst/Veltrane.so usr/lib/vst3/Veltrane.vst3/Contents/x86_64-linux/Veltrane.so \
         usr/lib/clap/Veltrane.clap usr/lib/lv2/Veltrane.lv2/manifest.ttl usr/bin/veltrane-render \
         usr/share/doc/veltrane/copyright usr/share/doc/veltrane/changelog.Debian.gz \
         usr/share/doc/veltrane/Veltrane-Manual.html usr/share/veltrane/Veltrane-factory.fxb; do
  check "the package holds /$f" grep -qx "./$f" <<<"$listing"
done
check "its Depends come from the binaries" bash -c "dpkg-deb -f '$deb' Depends | grep -q 'libc6 (>= '"

# As root, the real system (unless a copy is installed already, which stays
# untouched); otherwise a scratch root of its own.
if [ "$(id -u)" -eq 0 ] && ! dpkg-query -W veltrane >/dev/null 2>&1; then
  root=""
  install() { DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 install -y -q --no-install-recommends "$deb"; }
  purge() { DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 purge -y -q veltrane; }
  installed() { dpkg-query -W veltrane >/dev/null 2>&1; }
else
  root="$work/root"
  mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
  touch "$root/var/lib/dpkg/status"
  dpkg_scratch() { HOME="$work" dpkg --force-not-root --force-depends --log=/dev/null --root="$root" "$@"; }
  install() { dpkg_scratch -i "$deb"; }
  purge() { dpkg_scratch -P veltrane; }
  installed() { dpkg-query --admindir="$root/var/lib/dpkg" -W veltrane >/dev/null 2>&1; }
fi
places="usr/lib/vst usr/lib/vst3 usr/lib/clap usr/lib/lv2 usr/bin/veltrane-render usr/share/veltrane
        usr/share/doc/veltrane usr/share/man/man1/veltrane-render.1.gz"
snapshot() {
  for p in $places; do [ -e "$root/$p" ] && find "$root/$p" -printf '%y %m %s %p\n'; done | sort
}
before=$(snapshot)
out=$(install 2>&1)
check "the package installs into ${root:-the system}" installed || sed 's/^/  /' <<<"$out"

hosts=build/linux/tests
check "the installed VST 2.4 plug-in loads in its test host" \
  bash -c "$hosts/host/veltrane-info '$root/usr/lib/vst/Veltrane.so' | grep -q \"unique ID *'QVTR'\""
check "the installed VST3 plug-in loads in its test host" \
  bash -c "$hosts/plugin/vst3/vst3-info '$root/usr/lib/vst3/Veltrane.vst3' | grep -q 'Quorvel Veltrane \[Audio Module Class\]'"
check "the installed LV2 plug-in loads in its test host" \
  bash -c "$hosts/plugin/lv2/veltrane-lv2-info '$root/usr/lib/lv2/Veltrane.lv2' | grep -q 'name *Quorvel Veltrane'"
check "the installed CLAP plug-in loads in its test host" \
  bash -c "VELTRANE_CLAP='$root/usr/lib/clap/Veltrane.clap' $hosts/plugin/clap/veltrane_clap_tests \
             --gtest_filter='Module.*' >/dev/null"
check "the installed veltrane-render finds the installed plug-in" \
  bash -c "'$root/usr/bin/veltrane-render' --list-programs | grep -q 'Plus 250Hz'"
if [ -z "$root" ]; then
  check "LV2 hosts find it in the system folder" bash -c "env -u LV2_PATH lv2ls | grep -qx 'http://www.quorvel.com/plugins/veltrane'"
  check "man finds the manual page of veltrane-render" bash -c "man -w veltrane-render >/dev/null"
fi

out=$(purge 2>&1)
check "purging removes the package" not installed || sed 's/^/  /' <<<"$out"
check "and leaves the system folders as they were" test "$(snapshot)" = "$before"

# The ARM package, when that tree is built: lintian and its architecture
# (its binaries run under qemu-user in the arm64 tests, not here).
if [ -f build/arm64/Veltrane.so ] && [ -f build/arm64/build.ninja ]; then
  /usr/bin/python3 tools/release/debian_package.py --version "$version" --out "$work/arm" --manual "$manual" \
    --docs docs/manual --epoch 1700000000 build/arm64 >/dev/null
  arm=$(ls "$work"/arm/veltrane_*_arm64.deb 2>/dev/null)
  check "the arm64 package is built" test -n "$arm" &&
    check "lintian reports no errors in it" bash -c "TMPDIR='$work' lintian '$arm' >/dev/null 2>&1" &&
    check "its architecture is arm64" test "$(dpkg-deb -f "$arm" Architecture)" = arm64
else
  echo "note: build/arm64 is not built; no arm64 package checked"
fi

[ $fails -eq 0 ] || { echo "$fails check(s) failed"; exit 1; }
