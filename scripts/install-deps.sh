#!/usr/bin/env bash
# Installs everything the build and the tests need, from Debian packages.
# Idempotent and unattended (works with CI=true and no terminal); when
# everything is already there it only checks, without touching the network.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

# Without these the project still builds; the tests that need them are
# reported as skipped (Wine for the Windows builds' tests, the X server for
# the editor windows, ffmpeg for the benchmark's comparison, NSIS for the
# Windows installer, lintian for checking the Debian package, GTK 3 for the
# LV2 editor's widget for GTK 3 hosts).
optional=(wine wine64 wine32:i386 xvfb xauth x11-utils ffmpeg nsis lintian libgtk-3-dev)
# The 64-bit ARM build: a cross compiler, the libraries for arm64 and
# qemu-user to run its tests. Without them the arm64 preset is skipped.
arm64=(g++-aarch64-linux-gnu qemu-user
       libpng-dev:arm64 zlib1g-dev:arm64 libfreetype-dev:arm64 libfontconfig-dev:arm64
       libcurl4-openssl-dev:arm64 libsndfile1-dev:arm64 libx11-dev:arm64 libxext-dev:arm64
       libxtst-dev:arm64 lv2-dev:arm64 liblilv-dev:arm64)
optional+=("${arm64[@]}")

packages=(
  # Native toolchain and build tools
  g++ cmake ninja-build pkg-config dpkg-dev
  # Windows cross toolchains (posix threads variants come with these)
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools binutils-mingw-w64
  # Running and testing the Windows builds
  wine wine64 wine32:i386 xvfb xauth x11-utils
  # Libraries
  libgtest-dev libpng-dev zlib1g-dev libz-mingw-w64-dev libfreetype-dev libfontconfig-dev
  fonts-liberation2 libcurl4-openssl-dev libsndfile1-dev libx11-dev libxext-dev libxtst-dev
  # The LV2 bundle: the interface's headers, and lilv and sord for its tests
  lv2-dev liblilv-dev lilv-utils sordi
  # Sanitizer and fuzzer builds
  clang libclang-rt-14-dev
  # Tools used by tests and the demo
  ffmpeg python3-pil locales
  # The release: the manual is written in Markdown, archives checked with unzip,
  # the Windows installer made with NSIS, the Debian package checked by lintian
  python3-markdown unzip nsis lintian
  "${arm64[@]}"
)

if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1; then
  sudo=(sudo -n)
else
  sudo=()
fi
as_root() {
  if [ "$(id -u)" -ne 0 ] && [ ${#sudo[@]} -eq 0 ]; then
    echo "install-deps: need root for: $*" >&2
    return 1
  fi
  "${sudo[@]}" "$@"
}

export DEBIAN_FRONTEND=noninteractive
need_update=0
# Overridable only to try the source-list handling on a copy.
sources_dir="${VELTRANE_APT_SOURCES_DIR:-/etc/apt/sources.list.d}"

# wine32 comes from the i386 architecture, the ARM build's libraries from arm64.
for arch in i386 arm64; do
  if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    echo "install-deps: enabling the $arch architecture"
    as_root dpkg --add-architecture "$arch"
    need_update=1
  fi
done

# Source packages (libpng for the Windows builds) need deb-src entries for the
# same archives as the binary ones. deb822 sources get a separate file with
# the same URIs, suites, components and keys.
deb_src_missing() {
  local f uri
  local -a uris=()
  [ -f "$sources_dir/debian.sources" ] || return 1
  mapfile -t uris < <(awk '
      BEGIN { RS = ""; FS = "\n" }
      /(^|\n)Types:[^\n]*(^|[ \t])deb([ \t\n]|$)/ {
        for (i = 1; i <= NF; i++) if ($i ~ /^URIs:/) { sub(/^URIs:[ \t]*/, "", $i); print $i }
      }' "$sources_dir/debian.sources" | tr ' ' '\n' | sed '/^$/d')
  for uri in "${uris[@]}"; do
    local found=0
    for f in "$sources_dir"/*.sources; do
      [ -f "$f" ] || continue
      if awk -v uri="$uri" '
          BEGIN { RS = ""; FS = "\n"; hit = 0 }
          /(^|\n)Types:[^\n]*deb-src/ {
            for (i = 1; i <= NF; i++) if ($i ~ /^URIs:/ && index($i " ", " " uri " ") > 0) hit = 1
          }
          END { exit hit ? 0 : 1 }' "$f"; then
        found=1
        break
      fi
    done
    if [ $found -eq 0 ] && [ -f "$sources_dir/../sources.list" ] &&
       grep -qsE "^[[:space:]]*deb-src[[:space:]]+(\[[^]]*\][[:space:]]+)?${uri//./\\.}/?[[:space:]]" /etc/apt/sources.list; then
      found=1
    fi
    [ $found -eq 1 ] || return 0
  done
  return 1
}

if deb_src_missing; then
  target="$sources_dir/debian-src.sources"
  echo "install-deps: adding deb-src entries in $target"
  awk '
      BEGIN { RS = ""; FS = "\n"; ORS = "\n\n" }
      /(^|\n)Types:[^\n]*(^|[ \t])deb([ \t\n]|$)/ {
        out = ""
        for (i = 1; i <= NF; i++) {
          line = $i
          if (line ~ /^Types:/) line = "Types: deb-src"
          out = out (out == "" ? "" : "\n") line
        }
        print out
      }' "$sources_dir/debian.sources" | as_root tee "$target.tmp" >/dev/null
  as_root mv "$target.tmp" "$target"
  need_update=1
fi

# A bare name means this machine's own architecture (or none, for "all"
# packages): with other architectures enabled dpkg-query lists every
# instance of the name, and the native one is the one asked for.
native_arch="$(dpkg --print-architecture 2>/dev/null || true)"
package_status() {
  local out
  out="$(dpkg-query -W -f='${db:Status-Status} ${Architecture}\n' "$1" 2>/dev/null || true)"
  case "$1" in
    *:*) awk 'NR == 1 { print $1 }' <<<"$out" ;;
    *) awk -v native="$native_arch" '$2 == "" || $2 == native || $2 == "all" { print $1; exit }' <<<"$out" ;;
  esac
}

missing=()
for p in "${packages[@]}"; do
  [ "$(package_status "$p")" = "installed" ] || missing+=("$p")
done

# A mirror in the middle of a sync serves an index of the wrong size for a
# while (hours, at times). That is an ordinary event: retry a few times, then
# go on with the lists that did arrive.
retries="${VELTRANE_APT_RETRIES:-3}"
pause="${VELTRANE_APT_RETRY_PAUSE:-10}"
update_lists() {
  local attempt out rc
  for attempt in $(seq 1 "$retries"); do
    rc=0
    out="$(as_root apt-get update -q 2>&1)" || rc=$?
    if [ $rc -eq 0 ] && ! grep -q '^E:' <<<"$out"; then
      return 0
    fi
    echo "install-deps: apt-get update, attempt $attempt of $retries: $(grep -m1 -E '^(E|Err):' <<<"$out" || echo "exit $rc")"
    [ "$attempt" -lt "$retries" ] && sleep "$pause"
  done
  echo "install-deps: some package lists did not arrive; going on with those that did"
  return 0
}

# The apt error of a failed install in one line.
apt_reason() {
  local line
  line="$(grep -m1 -E '^ [^ ].* : (Depends|PreDepends|Conflicts|Breaks):' <<<"$1" | sed -E 's/^ +//')"
  [ -n "$line" ] || line="$(grep -m1 -E '^E:' <<<"$1" | sed -E 's/^E: //')"
  [ -n "$line" ] || line="apt-get exited with an error"
  printf '%s' "$line"
}

not_installed=()
if [ ${#missing[@]} -gt 0 ] || [ $need_update -eq 1 ]; then
  echo "install-deps: updating package lists"
  update_lists
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  if ! out="$(as_root apt-get install -y -q --no-install-recommends --no-remove "${missing[@]}" </dev/null 2>&1)"; then
    # One package that cannot be had must not keep the others out: take them
    # one at a time and say which ones failed and why.
    echo "install-deps: installing all at once failed ($(apt_reason "$out")); one package at a time"
    for p in "${missing[@]}"; do
      if ! out="$(as_root apt-get install -y -q --no-install-recommends --no-remove "$p" </dev/null 2>&1)"; then
        echo "install-deps: could not install $p: $(apt_reason "$out")"
        not_installed+=("$p")
      fi
    done
  fi
else
  echo "install-deps: all ${#packages[@]} packages present"
fi

# A German locale, so the tests can check that numbers the plug-in shows to
# hosts do not follow the process locale.
if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf8'; then
  echo "install-deps: generating the de_DE.UTF-8 locale"
  as_root localedef -i de_DE -c -f UTF-8 de_DE.UTF-8 || echo "install-deps: no German locale (tests will skip)" >&2
fi

if [ -f "$here/fetch-libpng.sh" ]; then
  if [ "$(id -u)" -eq 0 ]; then
    sh "$here/fetch-libpng.sh"
  else
    as_root sh "$here/fetch-libpng.sh"
  fi
fi

if [ ${#not_installed[@]} -gt 0 ]; then
  required_missing=()
  for p in "${not_installed[@]}"; do
    case " ${optional[*]} " in
      *" $p "*) ;;
      *) required_missing+=("$p") ;;
    esac
  done
  echo "install-deps: not installed: ${not_installed[*]}"
  if [ ${#required_missing[@]} -gt 0 ]; then
    echo "install-deps: the build cannot go on without: ${required_missing[*]}" >&2
    exit 1
  fi
  echo "install-deps: the tests that need them will be reported as skipped"
fi
exit 0
