#!/usr/bin/env bash
# The main job: build the plug-in for Linux and both Windows targets and show
# it working. With the command-line renderer built, renders its demo signal
# through three settings of the Linux plug-in (audio and spectrograms in
# out/) and shows both DLLs loading under Wine; without it, loads each binary
# the way a host does and prints its effect record and parameters.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/install-deps.sh
scripts/build.sh linux win64 win32

skipped=()
# Prints the DLL's record as a host under Wine sees it; a machine that cannot
# run it (no Wine, or no 32-bit Wine) gets the reason instead.
wine_info() {
  local dir=$1 dll=$2 part=${3:-all} out rc=0
  # Wine's console ends lines with CR LF.
  out="$(cmake/wine-run.sh "build/$dir/wineprefix" "build/$dir/tests/host/veltrane-info.exe" "build/$dir/$dll" |
         tr -d '\r')" || rc=$?
  if [ $rc -eq 77 ]; then
    echo "build/$dir/$dll is built but not loaded: ${out#wine-run: skipped: }"
    skipped+=("loading build/$dir/$dll under Wine")
    return 0
  fi
  # The record part of a listing ends at its first blank line.
  if [ "$part" = record ]; then sed '/^$/q' <<<"$out"; else printf '%s\n' "$out"; fi
  return $rc
}
report_skipped() {
  [ ${#skipped[@]} -eq 0 ] && return 0
  echo
  echo "=== skipped on this machine: ${skipped[*]}"
}
stop_wine() {
  local prefix
  for prefix in build/win64/wineprefix build/win32/wineprefix; do
    [ -d "$prefix" ] && WINEPREFIX="$(pwd)/$prefix" wineserver -k >/dev/null 2>&1 || true
  done
}
trap stop_wine EXIT

render=""
for candidate in build/linux/veltrane-render build/linux/tools/veltrane-render; do
  if [ -x "$candidate" ] && [ -f "$candidate" ]; then render=$candidate; break; fi
done

if [ -n "$render" ]; then
  echo
  echo "=== veltrane-render: the demo signal through build/linux/Veltrane.so"
  # A static +250 Hz shift, a stereo sweep under the triangle LFO, and the
  # LFO locked to a 120 BPM transport; audio and spectrograms go to out/.
  scripts/render-demo.sh build/linux out
  echo
  echo "=== the Windows builds, loaded under Wine"
  wine_info win64 Veltrane64.dll record
  wine_info win32 Veltrane.dll record
  report_skipped
  exit 0
fi

echo
echo "=== Linux: build/linux/Veltrane.so"
build/linux/tests/host/veltrane-info build/linux/Veltrane.so
echo
echo "=== 64-bit Windows, under Wine: build/win64/Veltrane64.dll"
wine_info win64 Veltrane64.dll
echo
echo "=== 32-bit Windows, under Wine: build/win32/Veltrane.dll"
wine_info win32 Veltrane.dll
report_skipped
