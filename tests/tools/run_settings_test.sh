#!/usr/bin/env bash
# The settings-file edit of tools/run.sh (settings_set_udp_port) on planted
# files: what it changes, where, what it keeps and what it says. Runs with a
# terminal on standard input, where a command that asks would get an answer.
set -euo pipefail
lib=$1
if [ ! -t 0 ]; then
  exec script -qec "$(printf '%q ' bash "$0" "$@")" /dev/null </dev/null
fi
# shellcheck source=../../tools/run-settings.sh
source "$lib"
shown() { printf '%s' "$1"; }
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT

ini() { printf '[P\370ipojen\355]\r\nRozhran\355=DQ-2847\r\n[DQ-2847]\r\nIP adresa=%s\r\nUDP port=%s\r\n' "$1" "$2"; }

# Each setup plants W.ini (and what goes with it) in the current folder.
plain() { ini 127.0.0.1 5000 >W.ini; }
read_only() { plain; chmod 444 W.ini; }
linked() { mkdir real; ini 127.0.0.1 5000 >real/W.ini; ln -s real/W.ini W.ini; }
linked_bak() { plain; echo precious >other; ln -s other W.ini.bak; }
bak_folder() { plain; mkdir -p W.ini.bak/inside; }
elsewhere() { ini 10.0.0.5 5000 >W.ini; }
same_port() { ini 127.0.0.1 5123 >W.ini; }
missing() { :; }

failures=0
# name | setup | note begins | UDP port in W.ini after | W.ini.bak after: old (regular, the file as it was), none, keep
while IFS='|' read -r name setup note want_port want_bak; do
  dir=$work/$setup
  mkdir "$dir"
  (cd "$dir" && "$setup")
  before=$(cat "$dir/W.ini" 2>/dev/null || true)
  settings_note=""
  settings_set_udp_port "$dir/W.ini" 5123
  problems=()
  [[ $settings_note == "${note/DIR/$dir}"* ]] || problems+=("note: $settings_note")
  [ "$(ini_get "$dir/W.ini" dq-2847 "udp port")" = "$want_port" ] || problems+=("port: $(ini_get "$dir/W.ini" dq-2847 "udp port")")
  case $want_bak in
    old) { [ -f "$dir/W.ini.bak" ] && [ ! -L "$dir/W.ini.bak" ] && [ "$(cat "$dir/W.ini.bak")" = "$before" ]; } || problems+=("no backup of the old file") ;;
    none) [ ! -e "$dir/W.ini.bak" ] || problems+=("a backup where none belongs") ;;
  esac
  [ "$setup" != linked ] || [ -L "$dir/W.ini" ] || problems+=("the link was replaced")
  [ "$setup" != linked_bak ] || [ "$(cat "$dir/other")" = precious ] || problems+=("written through the .bak link")
  [ "$setup" != read_only ] || [ "$(stat -c %a "$dir/W.ini")" = 444 ] || problems+=("mode changed")
  leftovers=$(find "$dir" -name '.W_dq7184*' -o -name '*.new')
  [ -z "$leftovers" ] || problems+=("left behind: $leftovers")
  if [ ${#problems[@]} -gt 0 ]; then
    echo "FAIL $name:"
    printf '  %s\n' "${problems[@]}"
    failures=$((failures + 1))
  fi
done <<'ROWS'
port changed, the old file kept|plain|Set "UDP port" in DIR/W.ini from 5000 to 5123|5123|old
read-only file left alone|read_only|DIR/W.ini cannot be changed (it is read-only or not yours)|5000|none
a link is edited where it points|linked|Set "UDP port" in DIR/W.ini from 5000 to 5123|5123|old
a .bak link is replaced, not written through|linked_bak|Set "UDP port"|5123|old
a .bak that cannot be replaced stops the change|bak_folder|DIR/W.ini cannot be changed;|5000|keep
another address left alone|elsewhere|DIR/W.ini names a LAN converter at 10.0.0.5|5000|none
the right port already|same_port|Using DIR/W.ini as it is.|5123|none
no file yet|missing|Created DIR/W.ini for the LAN converter at 127.0.0.1:5123.|5123|none
ROWS

if [ "$failures" -ne 0 ]; then exit 1; fi
echo "run.sh settings edit: all cases passed"
