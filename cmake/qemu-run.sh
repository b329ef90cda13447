#!/usr/bin/env bash
# Runs one 64-bit ARM program under qemu-user: qemu-run.sh PROGRAM [ARGS...]
#
# CTest uses this as the cross-compiling emulator of the arm64 preset. No
# binfmt registration is needed: qemu-aarch64 is named here, with / as the
# emulated root, where Debian's multiarch puts the arm64 loader and
# libraries. A machine without them still builds the ARM targets; their
# programs are then reported as skipped (exit 77), not as failures.
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 PROGRAM [ARGS...]" >&2
  exit 2
fi
skip() {
  echo "qemu-run: skipped: $*"
  exit 77
}
command -v qemu-aarch64 >/dev/null 2>&1 || skip "qemu-user is not installed (package qemu-user)"
[ -e /lib/ld-linux-aarch64.so.1 ] || skip "no arm64 C library on this machine (package libc6:arm64)"

exec qemu-aarch64 -L / "$@"
