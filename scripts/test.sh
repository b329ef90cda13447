#!/usr/bin/env bash
# Builds every configuration and runs all tests: Linux, 64- and 32-bit Windows
# under Wine, 64-bit ARM Linux under qemu-user, the ASan/UBSan and
# ThreadSanitizer builds, and each fuzzer for a bounded time
# (FUZZ_SECONDS, default 60 s for the chunk fuzzer and 30 s for the others).
# Keeps going after a failure so one run shows everything; exits non-zero if
# anything failed. The last line sums them all up: passed, failed and skipped
# (tests this machine cannot run, such as the 32-bit Windows programs without
# 32-bit Wine, are skipped with their reason, not failed; so is a whole
# preset whose tools are missing, such as arm64 without its cross compiler).
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root="$(pwd)"

scripts/install-deps.sh || { echo "test: installing dependencies failed" >&2; exit 1; }

presets=(linux win64 win32 arm64 release sanitize tsan fuzz)
if [ $# -gt 0 ]; then presets=("$@"); fi

xvfb_pid=""
cleanup() {
  local prefix
  for prefix in "$root"/build/*/wineprefix; do
    [ -d "$prefix" ] && WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
  done
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  return 0
}
trap cleanup EXIT

# The Windows editor tests need an X server for Wine; start our own if the
# caller has none, on the first free display from :99 on. (Native tests that
# map windows start an X server each of their own.)
if [ -z "${DISPLAY:-}" ] && ! command -v Xvfb >/dev/null 2>&1; then
  echo "test: no Xvfb: the Windows builds' window tests will be skipped"
elif [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 99 120); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    for _ in $(seq 1 100); do
      xdpyinfo -display ":$n" >/dev/null 2>&1 && break
      sleep 0.1
    done
    break
  done
  echo "test: Xvfb on $DISPLAY"
fi

total_passed=0
total_failed=0
total_skipped=0
problems=()
summaries=()

# Why this machine cannot build or run a preset at all (its packages are
# optional in scripts/install-deps.sh), or nothing.
preset_unavailable() {
  case "$1" in
    arm64)
      if ! command -v aarch64-linux-gnu-g++ >/dev/null 2>&1; then
        echo "no cross compiler for 64-bit ARM (package g++-aarch64-linux-gnu)"
      elif ! command -v qemu-aarch64 >/dev/null 2>&1; then
        echo "no qemu-aarch64 to run the tests (package qemu-user)"
      elif ! aarch64-linux-gnu-pkg-config --exists libpng zlib freetype2 fontconfig libcurl sndfile x11 xext xtst \
               lv2 lilv-0 2>/dev/null; then
        echo "the arm64 libraries are not installed (scripts/install-deps.sh lists them)"
      fi ;;
  esac
}

run_preset() {
  local preset=$1
  local unavailable
  unavailable="$(preset_unavailable "$preset")"
  if [ -n "$unavailable" ]; then
    echo
    echo "=== $preset: skipped: $unavailable"
    summaries+=("$(printf '%-9s skipped (%s)' "$preset" "$unavailable")")
    return
  fi
  if [ "$preset" = release ]; then
    # The archives are packed from the trees built above; only the manual
    # is still to make.
    echo
    echo "=== release: the manual"
    cmake --build --preset linux --target manual || problems+=("release: the manual could not be built")
    run_tests release
    return
  fi
  local log="$root/build/test-$preset.log"
  mkdir -p "$root/build"
  echo
  echo "=== $preset: configure and build"
  if ! cmake --preset "$preset" >"$root/build/configure-$preset.log" 2>&1; then
    cat "$root/build/configure-$preset.log"
    problems+=("$preset: configure failed")
    return
  fi
  # -k 0: build all that can be built, so the rest can still be tested.
  if ! cmake --build --preset "$preset" -- -k 0; then
    problems+=("$preset: build failed")
  fi

  run_tests "$preset"
}

run_tests() {
  local preset=$1
  local log="$root/build/test-$preset.log"
  echo "=== $preset: tests"
  ctest --preset "$preset" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  local line
  line="$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)"
  if [ -z "$line" ]; then
    problems+=("$preset: ctest ran no tests (exit $rc)")
    return
  fi
  local failed total skipped reason=""
  failed="$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")"
  total="$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")"
  # CTest lists skipped tests under "The following tests did not run".
  skipped="$(grep -cE '^[[:space:]]*[0-9]+ - .* \(Skipped\)$' "$log" || true)"
  if [ "$skipped" -gt 0 ]; then
    # The first reason a skipped test gave (the release preset runs in the
    # linux tree).
    local log="$root/build/$preset/Testing/Temporary/LastTest.log"
    [ "$preset" = release ] && log="$root/build/linux/Testing/Temporary/LastTest.log"
    reason="$(grep -m1 -oE '((wine|qemu)-run: )?skipped: .*' "$log" 2>/dev/null |
              sed -E 's/^((wine|qemu)-run: )?skipped: //')"
    # A GoogleTest test that skipped itself: the line after its "Skipped".
    [ -n "$reason" ] || reason="$(grep -m1 -A1 -E ': Skipped$' "$log" 2>/dev/null | sed -n 2p)"
  fi
  total_failed=$((total_failed + failed))
  total_skipped=$((total_skipped + skipped))
  total_passed=$((total_passed + total - failed - skipped))
  summaries+=("$(printf '%-9s %d passed, %d failed, %d skipped%s' "$preset" $((total - failed - skipped)) \
                  "$failed" "$skipped" "${reason:+ ($reason)}")")
  if [ "$rc" -ne 0 ] && [ "$failed" -eq 0 ]; then
    problems+=("$preset: ctest exited $rc")
  fi
}

for preset in "${presets[@]}"; do
  if [ "$preset" = fuzz ] && ! compgen -G "tests/fuzz/fuzz_*.cpp" >/dev/null; then
    echo
    echo "=== fuzz: no tests/fuzz/fuzz_*.cpp yet, nothing to fuzz"
    continue
  fi
  run_preset "$preset"
done

echo
echo "=== summary"
for s in "${summaries[@]}"; do echo "$s"; done
for p in "${problems[@]}"; do echo "problem: $p"; done

total=$((total_passed + total_failed + total_skipped))
echo "${total_passed} passed, ${total_failed} failed, ${total_skipped} skipped (${total} tests)"

if [ "$total_failed" -gt 0 ] || [ ${#problems[@]} -gt 0 ] || [ "$total" -eq 0 ]; then
  exit 1
fi
exit 0
