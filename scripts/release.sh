#!/usr/bin/env bash
# Builds the release and writes the archives into dist/:
#   Veltrane-<version>-windows-x64.zip, -windows-x86.zip, -linux-x86_64.tar.gz,
#   -linux-aarch64.tar.gz (64-bit ARM, when this machine has its cross
#   compiler: scripts/test.sh's arm64 preset) and SHA256SUMS.
#
#   scripts/release.sh              install what is missing, build, pack
#   scripts/release.sh --no-build   pack the trees already built
#
# Each archive holds every plug-in format its build produced, the factory
# bank as an .fxb file, the manual, the licence and install notes; the Linux
# one also veltrane-render, install.sh and uninstall.sh. The same commit
# gives the same bytes: times are the commit's, entries sorted.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

build=1
[ "${1:-}" = --no-build ] && build=0

# The ARM tree is built and packed when its cross compiler is there (its
# packages are optional); without it the release says so and goes on.
arm64=1
if [ $build -eq 1 ]; then
  scripts/install-deps.sh
  presets=(linux win64 win32)
  if command -v aarch64-linux-gnu-g++ >/dev/null 2>&1; then presets+=(arm64); else arm64=0; fi
  scripts/build.sh "${presets[@]}"
  cmake --build --preset linux --target manual
fi
trees=(linux-x86_64=build/linux windows-x64=build/win64 windows-x86=build/win32)
if [ $arm64 -eq 1 ] && [ -f build/arm64/Veltrane.so ]; then
  trees+=(linux-aarch64=build/arm64)
else
  echo "release: no 64-bit ARM build (package g++-aarch64-linux-gnu): no linux-aarch64 archive"
fi

version=$(sed -n 's/^project(Veltrane VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "release: no project version in CMakeLists.txt" >&2; exit 1; }
# Every archive entry carries the time of the commit being released.
epoch=$(git log -1 --format=%ct 2>/dev/null || echo 0)
export SOURCE_DATE_EPOCH=$epoch

manual=build/linux/manual/Veltrane-Manual.html
[ -f "$manual" ] || { echo "release: $manual is missing (cmake --build --preset linux --target manual)" >&2; exit 1; }

rm -rf dist
/usr/bin/python3 tools/release/package.py --version "$version" --out dist --manual "$manual" \
  --docs docs/manual --scripts tools/release --epoch "$epoch" "${trees[@]}"
echo "release: SHA256SUMS"
sed 's/^/  /' dist/SHA256SUMS
