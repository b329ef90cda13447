#!/usr/bin/env bash
# scripts/test.sh's summary with stand-ins for cmake and ctest: one preset
# passes everything, one has tests skipped because Wine cannot run them.
# The last line must count them apart and the exit status must be 0; one
# failure must make it non-zero.
set -uo pipefail
src="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fails=0
check() {
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; fails=$((fails + 1)); fi
}

mkdir -p "$work/tree/scripts" "$work/bin"
cp "$src/scripts/test.sh" "$work/tree/scripts/"
printf '#!/bin/sh\necho "install-deps: all packages present"\n' >"$work/tree/scripts/install-deps.sh"
printf '#!/bin/sh\nexit 0\n' >"$work/bin/cmake"
cat >"$work/bin/ctest" <<'SH'
#!/bin/sh
preset=$2
mkdir -p "build/$preset/Testing/Temporary"
case "$preset" in
  linux)
    echo "the linux tree's own note: skipped: not the reason of another preset" \
      >"build/$preset/Testing/Temporary/LastTest.log"
    echo "100% tests passed, 0 tests failed out of 5" ;;
  gskip)
    printf '%s\n' "[ RUN      ] Lv2Tools.Lv2apply" "tests/plugin/lv2/lv2_tools_test.cpp:42: Skipped" \
      "lv2apply here is built for another processor" "[  SKIPPED ] Lv2Tools.Lv2apply (1 ms)" \
      >"build/$preset/Testing/Temporary/LastTest.log"
    echo "50% tests passed, 0 tests failed out of 2"
    echo
    echo "The following tests did not run:"
    printf '\t  2 - lv2.Lv2Tools.Lv2apply (Skipped)\n' ;;
  win32)
    echo "wine-run: skipped: no 32-bit Wine on this machine (package wine32:i386 is not installed)" \
      >"build/$preset/Testing/Temporary/LastTest.log"
    echo "100% tests passed, 0 tests failed out of 4"
    echo
    echo "The following tests did not run:"
    printf '\t  3 - host.Dispatcher.Open (Skipped)\n\t  4 - editor_test (Skipped)\n' ;;
  broken)
    echo "67% tests passed, 1 tests failed out of 3"
    echo
    echo "The following tests FAILED:"
    printf '\t  2 - host.Audio.Shift (Failed)\n'
    exit 8 ;;
esac
SH
chmod +x "$work/bin/"* "$work/tree/scripts/"*

(cd "$work/tree" && DISPLAY=:0 PATH="$work/bin:$PATH" bash scripts/test.sh linux win32) >"$work/out" 2>&1
rc=$?
cat "$work/out"
check "skipped tests do not fail the run" test $rc -eq 0
check "the last line counts passed, failed and skipped" test "$(tail -n 1 "$work/out")" = "7 passed, 0 failed, 2 skipped (9 tests)"
check "the preset's line gives the reason" \
  grep -q "win32 .*2 passed, 0 failed, 2 skipped (no 32-bit Wine on this machine" "$work/out"

# A test that skipped itself in GoogleTest gives the line after its
# "Skipped"; another tree's log is not read for it.
(cd "$work/tree" && DISPLAY=:0 PATH="$work/bin:$PATH" bash scripts/test.sh linux gskip) >"$work/out" 2>&1
check "a GoogleTest skip gives its own reason" \
  grep -q "gskip .*1 passed, 0 failed, 1 skipped (lv2apply here is built for another processor)$" "$work/out"

(cd "$work/tree" && DISPLAY=:0 PATH="$work/bin:$PATH" bash scripts/test.sh linux broken) >"$work/out" 2>&1
rc=$?
check "a failed test fails the run" test $rc -ne 0
check "and is counted" test "$(tail -n 1 "$work/out")" = "7 passed, 1 failed, 0 skipped (8 tests)"

# A machine without the ARM cross compiler (its packages are optional): the
# arm64 preset is skipped with the reason, and nothing fails. Only the
# programs test.sh and the stand-ins use are on the PATH.
mkdir -p "$work/path"
for tool in bash sh dirname mkdir tee grep sed cat head tail seq; do
  ln -s "$(command -v "$tool")" "$work/path/$tool"
done
cp "$work/bin/cmake" "$work/bin/ctest" "$work/path/"
(cd "$work/tree" && DISPLAY=:0 PATH="$work/path" bash scripts/test.sh linux arm64) >"$work/out" 2>&1
rc=$?
cat "$work/out"
check "a preset without its tools does not fail the run" test $rc -eq 0
check "its line says why it was skipped" \
  grep -qx "arm64     skipped (no cross compiler for 64-bit ARM (package g++-aarch64-linux-gnu))" "$work/out"
check "the last line counts the other presets' tests" test "$(tail -n 1 "$work/out")" = "5 passed, 0 failed, 0 skipped (5 tests)"

[ $fails -eq 0 ] || { echo "$fails check(s) failed"; exit 1; }
