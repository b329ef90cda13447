#!/usr/bin/env bash
# The release, as a musician gets it: packs the built trees twice (same
# bytes), builds the Linux tree a second time (same bytes), checks each
# archive's file list, installs each Linux archive (x86-64, and 64-bit ARM
# when that tree is built) into a scratch home and loads the installed
# plug-ins with the test hosts of its build (the ARM ones under qemu-user),
# uninstalls it and finds the home as it was, and loads the .fxb bank in the
# VST 2.4 test host. Needs the trees built (scripts/test.sh has by now) and
# the manual (cmake --build --preset linux --target manual).
#   release_test.sh SOURCE_DIR
set -uo pipefail
src="$1"
cd "$src"
work="$(mktemp -d)"
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
fails=0
check() {
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; fails=$((fails + 1)); fi
}

version=$(sed -n 's/^project(Veltrane VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
manual=build/linux/manual/Veltrane-Manual.html
trees=()
for pair in linux-x86_64=build/linux windows-x64=build/win64 windows-x86=build/win32 linux-aarch64=build/arm64; do
  tree=${pair#*=}
  if [ -f "$tree/build.ninja" ] && [ -n "$(ls -d "$tree"/Veltrane*.dll "$tree"/Veltrane.so 2>/dev/null)" ]; then
    trees+=("$pair")
  else
    echo "note: $tree is not built; its archive is not checked"
  fi
done
if [ ! -f "$manual" ] || [ ${#trees[@]} -eq 0 ]; then
  echo "skipped: build the trees and the manual first (scripts/release.sh builds both)"
  exit 77
fi

pack() {
  SOURCE_DATE_EPOCH=1700000000 /usr/bin/python3 tools/release/package.py --version "$version" --out "$1" \
    --manual "$manual" --docs docs/manual --scripts tools/release --epoch 1700000000 "${trees[@]}" >/dev/null
}
pack "$work/dist1" && pack "$work/dist2"
check "packing twice gives the same bytes" diff -r "$work/dist1" "$work/dist2"
check "SHA256SUMS matches the archives" bash -c "cd '$work/dist1' && sha256sum -c --quiet SHA256SUMS"

# Every archive: one top folder, the common files, nothing else but plug-ins.
listing() {
  case "$1" in
    *.zip) unzip -Z1 "$1" ;;
    *.tar.gz) tar -tzf "$1" | grep -v '/$' ;;
  esac
}
for archive in "$work"/dist1/Veltrane-*; do
  name=$(basename "$archive")
  top=${name%.zip}
  top=${top%.tar.gz}
  list=$(listing "$archive")
  for f in Veltrane-Manual.html LICENCE.txt install.txt Veltrane-factory.fxb; do
    check "$name holds $f" grep -qx "$top/$f" <<<"$list"
  done
  check "$name holds nothing outside its plug-in folders and notes" \
    bash -c "! grep -vE '^$top/(Veltrane-Manual.html|LICENCE.txt|install.txt|install.sh|uninstall.sh|Veltrane-factory.fxb|bin/veltrane-render|(vst|vst3|clap|lv2)/.+)\$' <<<'$list'"
  case "$name" in
    *windows-x64*) check "$name holds the 64-bit VST 2.4 plug-in" grep -qx "$top/vst/Veltrane64.dll" <<<"$list" ;;
    *windows-x86*) check "$name holds the 32-bit VST 2.4 plug-in" grep -qx "$top/vst/Veltrane.dll" <<<"$list" ;;
    *linux*)
      for f in vst/Veltrane.so bin/veltrane-render install.sh uninstall.sh; do
        check "$name holds $f" grep -qx "$top/$f" <<<"$list"
      done ;;
  esac
  # The Linux archives' programs and plug-ins are all for their processor
  # (ELF machine 62 is x86-64, 183 64-bit ARM), the VST3 binary in the
  # bundle's folder for it.
  case "$name" in
    *linux-x86_64*) machine=62 arch=x86_64-linux ;;
    *linux-aarch64*) machine=183 arch=aarch64-linux ;;
    *) continue ;;
  esac
  check "$name holds the VST3 binary in Contents/$arch" grep -qx "$top/vst3/Veltrane.vst3/Contents/$arch/Veltrane.so" <<<"$list"
  mkdir -p "$work/machines/$top"
  tar -xzf "$archive" -C "$work/machines/$top"
  elves=$(cd "$work/machines/$top/$top" && find vst vst3 clap lv2 bin -type f \( -name '*.so' -o -name '*.clap' -o -path 'bin/*' \))
  wrong=""
  for f in $elves; do
    [ "$(od -An -tu2 -j18 -N2 "$work/machines/$top/$top/$f" | tr -d ' ')" = "$machine" ] || wrong="$wrong $f"
  done
  check "$name's $(wc -w <<<"$elves") binaries are all for its processor${wrong:+ (not:$wrong)}" test -z "$wrong"
done

# Installs a Linux archive into a scratch home, loads what it installed with
# the test hosts of the tree it came from, installs again, uninstalls.
#   install_checks ARCHIVE TREE [RUNNER]   (RUNNER runs that tree's programs)
install_checks() {
  local archive=$1 tree=$2 run=("${@:3}") label
  label=$(basename "$archive")
  local home="$work/home-$label" unpacked="$work/unpacked-$label"
  rm -rf "$home" "$unpacked"
  mkdir -p "$unpacked" "$home/.vst" "$home/.config"
  tar -xzf "$archive" -C "$unpacked"
  pkg=$(ls -d "$unpacked"/Veltrane-*)
  # Something of the user's that must survive.
  echo mine > "$home/.vst/other-plugin.so"
  # Every folder, file and link with its contents (folder times change).
  snapshot() { (cd "$home" && find . -printf '%y %m %p %l\n' | sort && find . -type f -exec sha256sum {} + | sort); }
  before=$(snapshot)
  out=$(HOME="$home" XDG_DATA_HOME= "$pkg/install.sh" 2>&1)
  check "$label: install.sh succeeds and says what it did" grep -q "installed vst: $home/.vst/Veltrane.so" <<<"$out"
  check "$label: nothing half-copied is left where hosts scan" bash -c "! find '$home' -name '*.part-*' | grep -q ."
  check "$label: the installed VST 2.4 plug-in loads in the test host" \
    bash -c "${run[*]} $tree/tests/host/veltrane-info '$home/.vst/Veltrane.so' | grep -q \"unique ID *'QVTR'\""
  check "$label: the installed veltrane-render finds the installed plug-in" \
    bash -c "HOME='$home' ${run[*]} '$home/.local/bin/veltrane-render' --list-programs | grep -q 'Plus 250Hz'"
  for host in "$tree"/tests/plugin/*/*-info; do
    [ -x "$host" ] || continue
    kind=$(basename "$(dirname "$host")")
    installed=$(ls -d "$home/.$kind"/Veltrane* 2>/dev/null | head -n 1)
    [ -n "$installed" ] && check "$label: the installed $kind plug-in loads in its test host" "${run[@]}" "$host" "$installed"
  done
  out=$(HOME="$home" XDG_DATA_HOME= "$pkg/install.sh" 2>&1)
  check "$label: installing again over the first install works" grep -q "install.sh: done" <<<"$out"
  HOME="$home" XDG_DATA_HOME= "$pkg/uninstall.sh" >/dev/null
  check "$label: uninstall.sh leaves the home exactly as it was" test "$(snapshot)" = "$before"

  # A folder the user cannot write: refused with the path, nothing copied.
  if command -v setpriv >/dev/null && [ "$(id -u)" -eq 0 ]; then
    local locked="$work/locked-$label"
    mkdir -p "$locked/.vst3"
    chmod -R a+rX "$unpacked" "$work"
    chmod 755 "$locked"
    out=$(HOME="$locked" setpriv --reuid=nobody --regid=nogroup --clear-groups "$pkg/install.sh" 2>&1)
    rc=$?
    check "$label: install.sh refuses an unwritable folder" test $rc -ne 0
    check "$label: and names it and why" grep -q "cannot write to $locked.*permission denied" <<<"$out"
    check "$label: and copies nothing" bash -c "! find '$locked' -mindepth 1 -not -path '*/.vst3' | grep -q ."
  fi
}

linux=$(ls "$work"/dist1/Veltrane-*-linux-x86_64.tar.gz 2>/dev/null | head -n 1)
[ -n "$linux" ] && install_checks "$linux" build/linux
arm=$(ls "$work"/dist1/Veltrane-*-linux-aarch64.tar.gz 2>/dev/null | head -n 1)
if [ -n "$arm" ]; then
  if command -v qemu-aarch64 >/dev/null 2>&1; then
    install_checks "$arm" build/arm64 "$src/cmake/qemu-run.sh"
  else
    echo "note: no qemu-aarch64 (package qemu-user): the ARM archive is not installed and loaded"
  fi
fi

# The bank file loads in a VST 2.4 host and gives the built-in programs.
fresh=$(build/linux/tests/host/veltrane-info build/linux/Veltrane.so --program-values)
loaded=$(build/linux/tests/host/veltrane-info build/linux/Veltrane.so \
           --bank build/linux/generated/Veltrane-factory.fxb --program-values 2>&1)
check "the .fxb bank gives the factory programs" test "$fresh" = "$loaded"
check "there are 32 of them" test "$(wc -l <<<"$fresh")" -eq 32

# The Linux tree built a second time, elsewhere and without the tests:
# everything it installs must be the same bytes.
if [ -f build/linux/build.ninja ]; then
  if cmake -S . -B "$work/rebuild" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELTRANE_TESTS=OFF \
       -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ >/dev/null &&
     cmake --build "$work/rebuild" -j 2 >/dev/null; then
    cmake --install build/linux --prefix "$work/installed-1" >/dev/null
    cmake --install "$work/rebuild" --prefix "$work/installed-2" >/dev/null
    check "a second build installs the same bytes" diff -r "$work/installed-1" "$work/installed-2"
  else
    check "a second build of the Linux tree succeeds" false
  fi
fi

[ $fails -eq 0 ] || { echo "$fails check(s) failed"; exit 1; }
