# Sourced by the installer tests: numbered checks that keep going after a
# failure, and the project's version.
fails=0
check() {
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; fails=$((fails + 1)); return 1; fi
}
not() { ! "$@"; }
version=$(sed -n 's/^project(Veltrane VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
