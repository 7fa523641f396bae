# The settings-file part of tools/run.sh, sourced by it (and by its test):
# reads keys of the program's settings file and points its LAN converter at
# the simulator's UDP port. The caller defines shown PATH (a path as the
# user types it).
#
# The settings file is Windows-1250 text with CRLF line ends; section and key
# names match without regard to case.

# ini_get FILE SECTION KEY prints the value.
ini_get() {
  LC_ALL=C awk -v section="$2" -v key="$3" '
    function trim(s) { gsub(/^[ \t\r\f\v]+|[ \t\r\f\v]+$/, "", s); return s }
    { line = trim($0) }
    line ~ /^\[.*\]/ { if (seen) exit; inside = tolower(trim(substr(line, 2, index(line, "]") - 2))) == section
                       if (inside) seen = 1; next }
    inside && index(line, "=") && tolower(trim(substr(line, 1, index(line, "=") - 1))) == key {
      value = trim(substr(line, index(line, "=") + 1))
      if (value ~ /^".*"$/ || value ~ /^\047.*\047$/) value = substr(value, 2, length(value) - 2)
      print value; exit }' "$1"
}

# ini_with_udp_port FILE PORT prints the file with "UDP port" in section
# "DQ-2847" set to PORT and every other line as it was: the key line is
# rewritten in place, added at the end of the section, or the section is
# added at the end of the file.
ini_with_udp_port() {
  LC_ALL=C awk -v port="$2" '
    function trim(s) { gsub(/^[ \t\r\f\v]+|[ \t\r\f\v]+$/, "", s); return s }
    { line = trim($0) }
    line ~ /^\[.*\]/ {
      if (inside && !done) { print "UDP port=" port "\r"; done = 1 }
      inside = !done && tolower(trim(substr(line, 2, index(line, "]") - 2))) == "dq-2847"
      print; next }
    inside && !done && index(line, "=") && tolower(trim(substr(line, 1, index(line, "=") - 1))) == "udp port" {
      print "UDP port=" port ($0 ~ /\r$/ ? "\r" : ""); done = 1; next }
    { print }
    END {
      if (inside && !done) print "UDP port=" port "\r"
      else if (!done) printf "[DQ-2847]\r\nIP adresa=127.0.0.1\r\nUDP port=%d\r\nUDP timeout=200\r\n", port }
  ' "$1"
}

# replace_file TEMP PATH renames TEMP over PATH itself (a link at PATH is
# replaced, never followed), without asking; removes TEMP when it fails.
replace_file() {
  if mv -f -T -- "$1" "$2" 2>/dev/null; then return 0; fi
  rm -f -- "$1"
  return 1
}

# settings_set_udp_port FILE PORT: points the settings file FILE at the
# simulator on UDP PORT and sets settings_note to what was done, which is
# exactly what happened. A file that names another address, or is meant to
# stay as it is (no write permission for its owner, another owner, a folder
# that takes no new file), is left alone. A symbolic link FILE is edited
# where it points; the file as it was is kept as FILE.bak, which is
# replaced, never written through. Nothing asks; no scratch file stays.
# shellcheck disable=SC2034 # settings_note is the caller's
settings_set_udp_port() {
  local settings=$1 udp_port=$2 ip port target folder mode new bak
  if [ ! -e "$settings" ]; then
    if printf '[P\370ipojen\355]\r\nRozhran\355=DQ-2847\r\nAdresa=0\r\nRychlost=9600\r\n[DQ-2847]\r\nIP adresa=127.0.0.1\r\nUDP port=%d\r\nUDP timeout=200\r\n' \
      "$udp_port" 2>/dev/null >"$settings"; then
      settings_note="Created $(shown "$settings") for the LAN converter at 127.0.0.1:$udp_port."
    else
      settings_note="$(shown "$settings") cannot be created; for the simulator choose IP 127.0.0.1, UDP port $udp_port."
    fi
    return 0
  fi
  if [ ! -r "$settings" ]; then
    settings_note="$(shown "$settings") cannot be read; for the simulator choose IP 127.0.0.1, UDP port $udp_port."
    return 0
  fi
  # The program's own defaults stand in for keys the file lacks.
  ip=$(ini_get "$settings" dq-2847 "ip adresa" 2>/dev/null) || ip=""
  ip=${ip:-127.0.0.1}
  port=$(ini_get "$settings" dq-2847 "udp port" 2>/dev/null) || port=""
  if [ "$ip" != 127.0.0.1 ]; then
    settings_note="$(shown "$settings") names a LAN converter at $ip and is left as it is; for the simulator choose IP 127.0.0.1, UDP port $udp_port."
    return 0
  fi
  if [ "$port" = "$udp_port" ] || { [ -z "$port" ] && [ "$udp_port" = 5000 ]; }; then
    settings_note="Using $(shown "$settings") as it is."
    return 0
  fi
  local cannot choose
  cannot="$(shown "$settings") cannot be changed"
  choose="for the simulator choose IP 127.0.0.1, UDP port $udp_port."
  target=$(readlink -e -- "$settings") || target=""
  mode=$(stat -L -c %a -- "$settings" 2>/dev/null) || mode=""
  if [ -z "$target" ] || [ ! -f "$target" ] || [ -z "$mode" ]; then
    settings_note="$cannot (not a regular file); $choose"
    return 0
  fi
  # Root may write anything: the owner's write bit says whether the file is
  # meant to change, and a file of another owner would become root's.
  if (((8#$mode & 8#200) == 0)) || [ ! -O "$target" ]; then
    settings_note="$cannot (it is read-only or not yours); $choose"
    return 0
  fi
  folder=$(dirname -- "$target")
  new=$(mktemp "$folder/.W_dq7184.ini.XXXXXX" 2>/dev/null) || new=""
  bak=$(mktemp "$(dirname -- "$settings")/.W_dq7184.ini.bak.XXXXXX" 2>/dev/null) || bak=""
  if [ -z "$new" ] || [ -z "$bak" ]; then
    rm -f -- "$new" "$bak"
    settings_note="$cannot (its folder takes no new file); $choose"
    return 0
  fi
  if cp -p -- "$target" "$bak" 2>/dev/null && replace_file "$bak" "$settings.bak" &&
    ini_with_udp_port "$target" "$udp_port" 2>/dev/null >"$new" && chmod "$mode" -- "$new" 2>/dev/null &&
    replace_file "$new" "$target"; then
    settings_note="Set \"UDP port\" in $(shown "$settings") from ${port:-5000} to $udp_port (the file as it was: $(shown "$settings.bak"))."
  else
    rm -f -- "$new" "$bak"
    settings_note="$cannot; $choose"
  fi
}
