#!/usr/bin/env bash
# The Windows installer under Wine, in a prefix of its own: built twice
# (same bytes); installed silently with its defaults, every file where it
# belongs with the build's bytes, registered for uninstalling; the installed
# VST3, CLAP and VST 2.4 plug-ins load in the Windows test hosts from those
# folders; installed again with another VST 2.4 folder, then uninstalled,
# leaving the prefix's files and registry as they were. Then once for this
# user only, the same way.
#   windows_installer_test.sh SOURCE_DIR
set -uo pipefail
src="$1"
cd "$src"
work="$(mktemp -d)"
prefix="$work/prefix"
# Wine's server folder and everything else temporary go with the rest.
export TMPDIR="$work/tmp"
mkdir -p "$TMPDIR"
trap 'WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1; rm -rf "$work"' EXIT
source "$src/tests/scripts/checks.sh"
manual=build/linux/manual/Veltrane-Manual.html
command -v makensis >/dev/null || { echo "skipped: makensis is not installed (package nsis)"; exit 77; }
if [ ! -f build/win64/Veltrane64.dll ] || [ ! -f build/win32/Veltrane.dll ] || [ ! -f "$manual" ]; then
  echo "skipped: build win64, win32 and the linux tree's manual first (scripts/release.sh builds them)"
  exit 77
fi

build_setup() {  # OUT [TARGET]
  /usr/bin/python3 tools/release/windows_installer.py --version "$version" --out "$1" --manual "$manual" \
    --docs docs/manual --epoch 1700000000 ${2:+--target "$2"} windows-x64=build/win64 windows-x86=build/win32 >/dev/null
}
name="Veltrane-$version-windows-setup.exe"
build_setup "$work/a" && build_setup "$work/b" || { echo "FAILED: the installer could not be built"; exit 1; }
check "building twice gives the same bytes" cmp "$work/a/$name" "$work/b/$name"

run() { cmake/wine-run.sh "$prefix" "$@"; }
# The first program made the prefix; wine-run.sh says when it cannot run one.
out=$(run build/win64/tests/host/veltrane-info.exe 2>&1)
[ $? -eq 77 ] && { grep -m1 'skipped:' <<<"$out"; exit 77; }
# The installer the release ships is a 32-bit program. Where this machine
# cannot run those, the same script built for 64-bit Windows stands in.
setup="$work/a/$name"
if out=$(run build/win32/tests/host/veltrane-info.exe 2>&1); [ $? -eq 77 ]; then
  can32=0
  echo "note: $(grep -m1 -o 'skipped: .*' <<<"$out"); testing the 64-bit build of the installer"
  build_setup "$work/amd64" amd64-unicode || { echo "FAILED: the 64-bit installer could not be built"; exit 1; }
  setup="$work/amd64/$name"
else
  can32=1
fi

c="$prefix/drive_c"
winpath() { echo "Z:${1//\//\\}"; }
# Files and folders (folders without their size, which never shrinks) and
# both registry roots. Left out: the display's device keys, which Wine's
# display driver writes anew, and the empty folder in TEMP that the
# uninstaller ran from (it cannot remove the folder it runs in).
snapshot() {
  local root
  for root in HKEY_LOCAL_MACHINE HKEY_CURRENT_USER; do
    run regedit /E "$(winpath "$work/$root.reg")" "$root" >/dev/null 2>&1
    iconv -f UTF-16LE -t UTF-8 "$work/$root.reg" | tr -d '\r' |
      awk '/^\[/ { skip = $0 ~ /\\Control\\(Video|Class)\\/ } !skip && !/^"DriverDateData"=/'
  done
  (cd "$c" && find . -path './users/*/Temp/~nsu*.tmp' -type d -empty -prune -o \
     \( -type d -printf 'd %p\n' -o -printf '%y %s %p\n' \) | sort)
}
loads() {  # NAME PATTERN PROGRAM ARGS...
  local what=$1 pattern=$2 out rc
  shift 2
  out=$(run "$@" 2>&1)
  rc=$?
  check "$what" test $rc -eq 0 -a -n "$(grep -m1 -e "$pattern" <<<"$out")" || tail -n 5 <<<"$out" | sed 's/^/  /'
}
key='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvel Veltrane'

before=$(snapshot)
check "the silent install succeeds" run "$setup" /S
pf="$c/Program Files"
for f in "Common Files/VST3/Veltrane.vst3/Contents/x86_64-win/Veltrane.vst3" "Common Files/CLAP/Veltrane.clap" \
         VSTPlugins/Veltrane64.dll Quorvel/Veltrane/Veltrane-Manual.html Quorvel/Veltrane/Veltrane-factory.fxb \
         Quorvel/Veltrane/LICENCE.txt Quorvel/Veltrane/Uninstall.exe; do
  check "it installs C:\\Program Files\\${f//\//\\}" test -f "$pf/$f"
done
check "the 32-bit VST 2.4 plug-in goes into Program Files (x86)" cmp build/win32/Veltrane.dll "$c/Program Files (x86)/VSTPlugins/Veltrane.dll"
check "the installed files are the build's" cmp build/win64/Veltrane64.dll "$pf/VSTPlugins/Veltrane64.dll"
check "and carry the release's time" test "$(stat -c %Y "$pf/Common Files/CLAP/Veltrane.clap")" = 1700000000
check "the manual is in the Start menu" \
  test -f "$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quorvel Veltrane/Quorvel Veltrane manual.lnk"
during=$(snapshot)
check "the uninstaller is registered for every user" grep -qxF "[$key]" <<<"$during"
check "with its version" grep -qxF '"DisplayVersion"="'"$version"'"' <<<"$during"
check "and its silent command" grep -qxF '"QuietUninstallString"="\"C:\\Program Files\\Quorvel\\Veltrane\\Uninstall.exe\" /S"' <<<"$during"
echo "  install.log:"
iconv -f UTF-16LE -t UTF-8 "$pf/Quorvel/Veltrane/install.log" | sed 's/^\xef\xbb\xbf//; s/^/    /'

hosts64=build/win64/tests
loads "the installed VST 2.4 plug-in (64-bit) loads in its test host" "unique ID *'QVTR'" \
  $hosts64/host/veltrane-info.exe 'C:\Program Files\VSTPlugins\Veltrane64.dll'
if [ $can32 -eq 1 ]; then
  loads "the installed VST 2.4 plug-in (32-bit) loads in its test host" "unique ID *'QVTR'" \
    build/win32/tests/host/veltrane-info.exe 'C:\Program Files (x86)\VSTPlugins\Veltrane.dll'
fi
loads "the installed VST3 plug-in loads in its test host" 'Quorvel Veltrane \[Audio Module Class\]' \
  $hosts64/plugin/vst3/vst3-info.exe 'C:\Program Files\Common Files\VST3\Veltrane.vst3'
export VELTRANE_CLAP='C:\Program Files\Common Files\CLAP\Veltrane.clap'
loads "the installed CLAP plug-in loads in its test host" '^\[  PASSED  \]' \
  $hosts64/plugin/clap/veltrane_clap_tests.exe --gtest_filter='Module.*'

# Again into the same folder, VST 2.4 elsewhere: the uninstaller removes both.
check "installing again with another VST 2.4 folder succeeds" run "$setup" /S '/VST2DIR=C:\Audio\VST 64'
check "which it uses" test -f "$c/Audio/VST 64/Veltrane64.dll"
run "$pf/Quorvel/Veltrane/Uninstall.exe" /S
WINEPREFIX="$prefix" wineserver -w  # the uninstaller goes on in a copy of itself
check "the uninstaller leaves the prefix's files and registry as they were" diff <(echo "$before") <(snapshot)

# For this user only, and a VST 2.4 folder of the user's choice.
check "the install for this user only succeeds" run "$setup" /S /CurrentUser '/VST2DIR=C:\Audio\VST64'
home=$(ls -d "$c"/users/*/AppData/Local/Programs 2>/dev/null | head -n 1)
check "it puts the VST3 plug-in into the user's VST3 folder" \
  test -f "$home/Common/VST3/Veltrane.vst3/Contents/x86_64-win/Veltrane.vst3"
check "and the CLAP plug-in into the user's CLAP folder" test -f "$home/Common/CLAP/Veltrane.clap"
check "and the VST 2.4 plug-in where it was told" test -f "$c/Audio/VST64/Veltrane64.dll"
during=$(snapshot)
check "it registers the uninstaller for this user" grep -qxF "[${key/HKEY_LOCAL_MACHINE/HKEY_CURRENT_USER}]" <<<"$during"
check "and not for every user" not grep -qxF "[$key]" <<<"$during"
loads "the plug-in in the user's VST3 folder loads in its test host" 'Quorvel Veltrane \[Audio Module Class\]' \
  $hosts64/plugin/vst3/vst3-info.exe "$(run cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')\\Programs\\Common\\VST3\\Veltrane.vst3"
run "$home/Quorvel/Veltrane/Uninstall.exe" /S
WINEPREFIX="$prefix" wineserver -w
check "its uninstaller leaves the prefix as it was too" diff <(echo "$before") <(snapshot)

[ $fails -eq 0 ] || { echo "$fails check(s) failed"; exit 1; }
