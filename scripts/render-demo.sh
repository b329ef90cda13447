#!/usr/bin/env bash
# Renders the built-in demo signal (tones and a drum pattern) through the
# Linux plug-in with three settings and writes the audio and spectrograms:
#   scripts/render-demo.sh [BUILD_DIR [OUT_DIR]]   (default build/linux, out)
# Needs a built tree (scripts/build.sh linux).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

build="${1:-build/linux}"
out="${2:-out}"
render="$build/veltrane-render"
plugin="$build/Veltrane.so"

for f in "$render" "$plugin"; do
  if [ ! -e "$f" ]; then
    echo "render-demo: $f is missing; build first (scripts/build.sh linux, or ninja -C $build)" >&2
    exit 1
  fi
done
mkdir -p "$out"

# Every setting starts from the factory "Init" program with the channels
# unlinked and only the shifted signal in the output.
common=(--plugin "$plugin" --program Init --no-progress
        --set "Link L+R=Off" --set "Mix L=1" --set "Mix R=1")

run() {
  local name="$1" title="$2"
  shift 2
  echo "=== $title"
  "$render" "${common[@]}" "$@" -o "$out/$name.wav" --spectrogram "$out/$name.png"
  echo
}

# The input itself, for listening side by side: mix 0 passes it dry.
echo "=== the demo input, unprocessed"
"$render" --plugin "$plugin" --program Init --no-progress -q --set "Mix L=0" --set "Mix R=0" \
  -o "$out/demo-input.wav"
echo

# Shift = sign(f) * min(1, f^2) * range: f = 0.707102 with the 500 Hz range
# gives +250 Hz on both channels.
run demo-shift-250 "static shift of +250 Hz" \
  --set "LFO Waveform=Off" --set "Freq Range=500" \
  --set "Freq Max L=0.707102" --set "Freq Max R=0.707102"

# A triangle LFO at 0.5 cycles per second (LFO Rate 0.0125 x 40) sweeps the
# left channel from -500 to +500 Hz and the right one the other way.
run demo-stereo-sweep "stereo sweep, triangle LFO, -500..+500 Hz" \
  --set "Freq Range=500" --set "LFO Waveform=Triangle" --set "LFO Rate=0.0125" \
  --set "Freq Min L=-1" --set "Freq Max L=1" --set "Freq Min R=1" --set "Freq Max R=-1"

# Locked to the host's tempo: one rising ramp per quarter note at 120 BPM
# (rate 14/19 normalised selects the 1/4 division), 0 to +500 Hz.
run demo-sync-120bpm "ramp synced to the host, 1/4 at 120 BPM, transport playing" \
  --set "Freq Range=500" --set "LFO Waveform=Ramp Up" --set "Sync to Host=On" \
  --set "LFO Rate=0.736842n" --set "Freq Min L=0" --set "Freq Max L=1" \
  --set "Freq Min R=0" --set "Freq Max R=1" --tempo 120 --play

echo "=== rendered into $out/:"
for f in demo-input.wav demo-shift-250.wav demo-shift-250.png demo-stereo-sweep.wav demo-stereo-sweep.png \
         demo-sync-120bpm.wav demo-sync-120bpm.png; do
  printf '  %s\n' "$out/$f"
done
echo
echo "=== plug-in binaries:"
for f in "$plugin" build/linux/Veltrane.so build/win64/Veltrane64.dll build/win32/Veltrane.dll; do
  if [ -e "$f" ]; then
    printf '  %-32s %s bytes\n' "$f" "$(stat -c %s "$f")"
  fi
done | awk '!seen[$1]++'
