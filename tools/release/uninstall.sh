#!/bin/sh
# Removes what install.sh installed (for this user, or with --system for
# everyone), as listed in its record, and the folders it made that are
# empty now; nothing else.
set -eu

system=0
case "${1:-}" in
  "") ;;
  --system) system=1 ;;
  *) echo "usage: ./uninstall.sh [--system]" >&2; exit 2 ;;
esac
if [ $system -eq 1 ]; then
  record=/var/lib/quorvel/veltrane-installed.txt
else
  : "${HOME:?uninstall.sh: HOME is not set}"
  record=${XDG_DATA_HOME:-$HOME/.local/share}/quorvel/veltrane-installed.txt
fi

if [ ! -f "$record" ]; then
  echo "uninstall.sh: nothing to remove: no record of an installation ($record)"
  exit 0
fi
if [ ! -w "$(dirname "$record")" ]; then
  echo "uninstall.sh: cannot change $(dirname "$record"): permission denied; nothing was removed" >&2
  exit 1
fi

folders=$(grep '^folder ' "$record" | cut -c8- | awk '{ print length, $0 }' | sort -rn | cut -d' ' -f2-)
grep '^file ' "$record" | cut -c6- | while IFS= read -r target; do
  if [ -e "$target" ] || [ -L "$target" ]; then
    rm -rf "$target"
    echo "removed $target"
  fi
done
rm -f "$record"
# Deepest first, and only when empty: anything of the user's stays.
printf '%s\n' "$folders" | while IFS= read -r folder; do
  [ -n "$folder" ] && rmdir "$folder" 2>/dev/null && echo "removed the folder $folder"
  true
done
echo "uninstall.sh: done"
