#!/bin/sh
# Takes out the launcher that install.sh put into the user's application
# menu, with its icons. A launcher that starts the W_DQ7184 of another folder
# is left alone unless --force is given. The program folder itself and its
# settings file W_dq7184.ini stay; delete the folder to remove the program.
set -eu
# A CDPATH would send the cd below elsewhere and make it print the folder.
unset CDPATH

here=$(cd "$(dirname "$0")" && pwd -P)
program=$here/W_DQ7184
name=w-dq7184
force=0
case ${1:-} in
  --force) force=1 ;;
  '') ;;
  *) printf 'usage: %s [--force]\n' "$0" >&2; exit 2 ;;
esac

case ${XDG_DATA_HOME:-} in
  /*) data=$XDG_DATA_HOME ;;
  *) data=${HOME:?HOME is not set}/.local/share ;;
esac
apps=$data/applications
icons=$data/icons/hicolor
entry=$apps/$name.desktop

if [ ! -e "$entry" ]; then
  printf 'No launcher installed (%s is missing).\n' "$entry"
  exit 0
fi

# install.sh writes TryExec with the program's path, backslashes doubled.
owner=$(sed -n 's/^TryExec=//p' "$entry" | sed 's/\\\\/\\/g')
if [ "$owner" != "$program" ] && [ "$force" -eq 0 ]; then
  printf 'The launcher %s starts %s, not %s; left alone (--force removes it).\n' "$entry" "${owner:-another program}" "$program" >&2
  exit 1
fi

rm -f "$entry" "$icons/scalable/apps/$name.svg" "$icons/48x48/apps/$name.png"
printf 'Launcher removed: %s\n' "$entry"
