#!/usr/bin/env bash
# Configures and builds the plug-in for Linux and both Windows targets.
#   scripts/build.sh [PRESET...]   (default: linux win64 win32)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(linux win64 win32)

for preset in "${presets[@]}"; do
  echo "=== build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
