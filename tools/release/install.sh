#!/bin/sh
# Installs Quorvel Veltrane from this folder: every plug-in format in it
# into the folders hosts scan, for this user, or with --system (as root)
# for everyone, and veltrane-render beside your other programs.
# ./uninstall.sh removes exactly what this installed.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
system=0
case "${1:-}" in
  "") ;;
  --system) system=1 ;;
  *) echo "usage: ./install.sh [--system]" >&2; exit 2 ;;
esac

if [ $system -eq 1 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "install.sh: --system installs for everyone and needs root (try: sudo ./install.sh --system)" >&2
    exit 1
  fi
  vst=/usr/lib/vst vst3=/usr/lib/vst3 clap=/usr/lib/clap lv2=/usr/lib/lv2 bin=/usr/local/bin
  record=/var/lib/quorvel/veltrane-installed.txt
else
  : "${HOME:?install.sh: HOME is not set}"
  vst=$HOME/.vst vst3=$HOME/.vst3 clap=$HOME/.clap lv2=$HOME/.lv2 bin=$HOME/.local/bin
  record=${XDG_DATA_HOME:-$HOME/.local/share}/quorvel/veltrane-installed.txt
fi

destination() {
  case "$1" in
    vst) echo "$vst" ;; vst3) echo "$vst3" ;; clap) echo "$clap" ;; lv2) echo "$lv2" ;; bin) echo "$bin" ;;
  esac
}

# The folder closest to $1 that exists.
existing_parent() {
  d=$1
  while [ ! -d "$d" ]; do d=$(dirname "$d"); done
  echo "$d"
}

# Refuse before copying anything: every folder must exist and be writable,
# or be creatable.
for kind in vst vst3 clap lv2 bin; do
  [ -d "$here/$kind" ] || continue
  dest=$(destination "$kind")
  for d in "$dest" "$(dirname "$record")"; do
    parent=$(existing_parent "$d")
    if [ ! -w "$parent" ]; then
      echo "install.sh: cannot write to $parent (for $d): permission denied; nothing was installed" >&2
      exit 1
    fi
  done
done

# Folders made here are removed again by uninstall.sh when they are empty.
created=""
make_folder() {
  d=$1
  while [ ! -d "$d" ]; do
    created="$created$d
"
    d=$(dirname "$d")
  done
  mkdir -p "$1"
}

make_folder "$(dirname "$record")"
previous=""
[ -f "$record" ] && previous=$(cat "$record")
installed=""

for kind in vst vst3 clap lv2 bin; do
  [ -d "$here/$kind" ] || continue
  dest=$(destination "$kind")
  make_folder "$dest"
  for item in "$here/$kind"/*; do
    [ -e "$item" ] || continue
    name=$(basename "$item")
    target="$dest/$name"
    # Copied beside under a name no host looks for, then renamed: a host
    # scanning meanwhile sees the old file or the new one, never half.
    part="$dest/.$name.part-$$"
    rm -rf "$part"
    cp -R "$item" "$part"
    if [ -d "$target" ] && [ ! -L "$target" ]; then
      old="$dest/.$name.old-$$"
      mv "$target" "$old"
      mv "$part" "$target"
      rm -rf "$old"
    else
      mv -f "$part" "$target"
    fi
    installed="${installed}file $target
"
    echo "installed $kind: $target"
  done
done

# The record: what uninstall.sh may remove, merged with an earlier install.
{
  printf '%s\n' "$previous" | grep -v '^$' || true
  printf '%s' "$installed"
  printf '%s' "$created" | sed '/^$/d; s/^/folder /'
} | awk '!seen[$0]++' > "$record.part-$$"
mv -f "$record.part-$$" "$record"
echo "install.sh: done; ./uninstall.sh$( [ $system -eq 1 ] && echo ' --system') removes it again"
