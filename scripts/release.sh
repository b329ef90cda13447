#!/usr/bin/env bash
# Builds the release and writes the archives and installers into dist/:
#   Veltrane-<version>-windows-x64.zip, -windows-x86.zip, -linux-x86_64.tar.gz,
#   -linux-aarch64.tar.gz (64-bit ARM, when this machine has its cross
#   compiler: scripts/test.sh's arm64 preset),
#   Veltrane-<version>-windows-setup.exe (both Windows builds, one installer),
#   veltrane_<version>-1_amd64.deb (and _arm64.deb when build/arm64 is built)
#   and SHA256SUMS over all of them.
#
#   scripts/release.sh              install what is missing, build, pack
#   scripts/release.sh --no-build   pack the trees already built
#
# Each archive holds every plug-in format its build produced, the factory
# bank as an .fxb file, the manual, the licence and install notes; the Linux
# one also veltrane-render, install.sh and uninstall.sh. The installers hold
# the same. The same commit gives the same bytes: times are the commit's,
# entries sorted.
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

if command -v makensis >/dev/null 2>&1; then
  /usr/bin/python3 tools/release/windows_installer.py --version "$version" --out dist --manual "$manual" \
    --docs docs/manual --epoch "$epoch" windows-x64=build/win64 windows-x86=build/win32
else
  echo "release: makensis is not installed (package nsis): no Windows installer" >&2
fi
# The ARM build is packed when it has been built.
linux_trees=(build/linux)
[ -f build/arm64/vst/Veltrane.so ] || [ -f build/arm64/Veltrane.so ] && linux_trees+=(build/arm64)
/usr/bin/python3 tools/release/debian_package.py --version "$version" --out dist --manual "$manual" \
  --docs docs/manual --epoch "$epoch" "${linux_trees[@]}"
echo "release: SHA256SUMS"
sed 's/^/  /' dist/SHA256SUMS
