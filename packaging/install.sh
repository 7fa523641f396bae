#!/bin/sh
# Puts a launcher for the W_DQ7184 of this folder into the user's own
# application menu: the desktop entry into $XDG_DATA_HOME/applications
# (~/.local/share/applications) and the icon into the user's hicolor theme.
# Needs no root and changes nothing outside the user's data folder. Run it
# again after moving the folder; uninstall.sh takes the launcher out. The
# entry starts the program through W_DQ7184.sh, which says what is missing
# when the program cannot start.
set -eu
# A CDPATH would send the cd below elsewhere and make it print the folder.
unset CDPATH

here=$(cd "$(dirname "$0")" && pwd -P)
program=$here/W_DQ7184
launcher=$here/W_DQ7184.sh
name=w-dq7184

for file in "$program" "$launcher"; do
  if [ ! -x "$file" ]; then
    printf 'error: %s is missing or not executable\n' "$file" >&2
    exit 1
  fi
done
case $here in
  *'
'*) echo "error: the folder name holds a line break; move the folder and run this again" >&2; exit 1 ;;
esac

# XDG_DATA_HOME counts only when it is an absolute path.
case ${XDG_DATA_HOME:-} in
  /*) data=$XDG_DATA_HOME ;;
  *) data=${HOME:?HOME is not set}/.local/share ;;
esac
apps=$data/applications
icons=$data/icons/hicolor

# Desktop entry values: a string escapes the backslash; the Exec program is
# quoted, with ", `, $ and \ escaped inside the quotes and % doubled.
string_value() { printf '%s' "$1" | sed 's/\\/\\\\/g'; }
exec_value() {
  quoted=$(printf '%s' "$1" | sed -e 's/[\\"`$]/\\&/g' -e 's/%/%%/g')
  string_value "\"$quoted\""
}

mkdir -p "$apps" "$icons/scalable/apps"
cp "$here/$name.svg" "$icons/scalable/apps/$name.svg"
if [ -f "$here/$name.png" ]; then
  mkdir -p "$icons/48x48/apps"
  cp "$here/$name.png" "$icons/48x48/apps/$name.png"
fi

entry=$apps/$name.desktop
tmp=$entry.tmp.$$
trap 'rm -f "$tmp"' EXIT
{
  grep -v -e '^Exec=' -e '^TryExec=' -e '^Path=' "$here/$name.desktop"
  printf 'TryExec=%s\n' "$(string_value "$program")"
  printf 'Exec=%s\n' "$(exec_value "$launcher")"
  printf 'Path=%s\n' "$(string_value "$here")"
} >"$tmp"
chmod 644 "$tmp"
mv -f "$tmp" "$entry"

# Menus pick the entry up by themselves. No update-desktop-database: the
# entry names no MIME type, and the cache it leaves in the folder would
# outlive uninstall.sh. Touching the icon theme refreshes its cache.
touch "$icons" 2>/dev/null || true

printf 'Launcher installed: %s\n' "$entry"
printf 'It starts %s\n' "$program"
