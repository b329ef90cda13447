#!/usr/bin/env bash
# Runs one Windows program under Wine: wine-run.sh PREFIX-DIR PROGRAM.exe [ARGS...]
#
# CTest uses this as the cross-compiling emulator. Debian 12's `wine` picks
# the 32- or 64-bit loader from the PE header, so one command serves both
# builds. The prefix lives in the build tree and is made on first use; the
# lock keeps parallel test jobs from initialising it twice. Nothing is started
# here beyond Wine itself: the X server (for editor tests) is the caller's.
set -euo pipefail

if [ $# -lt 2 ]; then
  echo "usage: $0 PREFIX-DIR PROGRAM.exe [ARGS...]" >&2
  exit 2
fi
prefix="$(realpath -m "$1")"  # Wine insists on an absolute prefix
shift

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEARCH=win64
# No Mono or Gecko: the prompts to install them would hang an unattended run.
# No menu builder: Start menu entries stay in the prefix, out of the user's
# own desktop menus.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export DISPLAY="${DISPLAY:-:99}"

# A machine without Wine, or without its 32-bit half (wine32:i386 cannot
# always be installed), still builds the Windows targets; their programs are
# then reported as skipped (exit 77), not as failures.
skip() {
  echo "wine-run: skipped: $*"
  exit 77
}
command -v wine >/dev/null 2>&1 || skip "Wine is not installed (package wine)"
# The PE header's machine field: 0x14c for 32-bit x86 programs.
# (Wine's own programs, named without a path, count as 64-bit.)
pe_offset=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ' || true)
machine=$(od -An -tx2 -j$((${pe_offset:-0} + 4)) -N2 "$1" 2>/dev/null | tr -d ' ' || true)
if [ "$machine" = "014c" ] && [ ! -x /usr/lib/wine/wine ]; then
  skip "no 32-bit Wine on this machine (package wine32:i386 is not installed)"
fi
if [ "$machine" = "8664" ] && [ ! -x /usr/lib/wine/wine64 ]; then
  skip "no 64-bit Wine on this machine (package wine64 is not installed)"
fi
# Debian's `wine` starts the 32-bit loader whenever wine32 is installed; on a
# kernel without IA-32 emulation that loader cannot run at all. Then 64-bit
# programs go to the 64-bit loader directly and 32-bit ones are skipped.
wine=wine
if [ -x /usr/lib/wine/wine ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  [ "$machine" = "014c" ] && skip "this machine cannot run 32-bit programs (the kernel's IA-32 emulation is off)"
  wine=/usr/lib/wine/wine64
  export WINELOADER=$wine
fi

if [ "${VELTRANE_NEEDS_DISPLAY:-0}" = 1 ] && ! xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
  skip "this program maps windows and there is no X server at $DISPLAY (package xvfb)"
fi

ready="$prefix/.veltrane-prefix-ready"
if [ ! -e "$ready" ]; then
  mkdir -p "$(dirname "$prefix")"
  exec 9>"$prefix.lock"
  flock 9
  if [ ! -e "$ready" ]; then
    # A prefix left half-made by an interrupted run is not trusted.
    rm -rf "$prefix"
    "$wine" wineboot -i >/dev/null 2>&1 || true
    # wineboot returns before the prefix is fully written; the server exits
    # once everything it started has finished.
    wineserver -w
    if [ ! -e "$prefix/system.reg" ]; then
      echo "wine-run: could not create the Wine prefix $prefix" >&2
      exit 1
    fi
    # The test X server runs no window manager; Wine would wait for one
    # (about 2 s) every time a message box closes.
    "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
    wineserver -w
    touch "$ready"
  fi
  exec 9>&-
fi

exec "$wine" "$@"
