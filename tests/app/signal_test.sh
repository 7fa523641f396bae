#!/usr/bin/env bash
# The program ends on SIGTERM, SIGINT and SIGHUP as "Konec" does: it writes
# its settings file beside itself and exits with status 0. When that close
# waits on the box "Nastavení nelze uložit do souboru", a second signal ends
# the program without it: the message goes to standard error, exit status 1.
#   signal_test.sh PATH/TO/W_DQ7184
set -euo pipefail
program=$1
work=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ]; then kill -KILL "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# Whether the process catches a signal (its bit in SigCgt of /proc/PID/status).
catches() {
  local mask
  mask=$(sed -n 's/^SigCgt:[[:space:]]*//p' "/proc/$1/status" 2>/dev/null) || return 1
  [ -n "$mask" ] && (( (16#$mask >> ($2 - 1)) & 1 ))
}

failures=0
for row in TERM:15 INT:2 HUP:1; do
  name=${row%%:*}
  number=${row##*:}
  folder=$work/$name
  mkdir -p "$folder"
  cp "$program" "$folder/W_DQ7184"
  QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work "$folder/W_DQ7184" >"$folder/out" 2>&1 &
  pid=$!
  for _ in $(seq 1 600); do
    if catches "$pid" "$number"; then break; fi
    sleep 0.05
  done
  kill "-$name" "$pid"
  status=0
  for _ in $(seq 1 600); do
    if ! kill -0 "$pid" 2>/dev/null; then break; fi
    sleep 0.05
  done
  wait "$pid" || status=$?
  pid=
  if [ "$status" -ne 0 ]; then
    echo "SIG$name: exit status $status, expected 0"; cat "$folder/out"; failures=$((failures + 1))
  elif [ ! -s "$folder/W_dq7184.ini" ]; then
    echo "SIG$name: no settings file written beside the program"; failures=$((failures + 1))
  else
    echo "SIG$name: settings written, exit 0"
  fi
done
# Second signals. Rows: what keeps the settings file from being written,
# the first signal, the second signal.
for row in ini-folder:TERM:TERM ini-folder:INT:HUP program-folder-gone:HUP:TERM program-folder-gone:TERM:INT; do
  IFS=: read -r cause first second <<<"$row"
  folder=$work/second-$cause-$first-$second
  mkdir -p "$folder"
  cp "$program" "$folder/W_DQ7184"
  [ "$cause" = ini-folder ] && mkdir "$folder/W_dq7184.ini"
  QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work "$folder/W_DQ7184" >"$folder.out" 2>"$folder.err" &
  pid=$!
  for _ in $(seq 1 600); do
    if catches "$pid" 15; then break; fi
    sleep 0.05
  done
  [ "$cause" = program-folder-gone ] && rm -rf "$folder"
  kill "-$first" "$pid"
  sleep 1  # the close reaches its box
  kill "-$second" "$pid" 2>/dev/null || true
  for _ in $(seq 1 1200); do
    if ! kill -0 "$pid" 2>/dev/null; then break; fi
    sleep 0.05
  done
  if kill -0 "$pid" 2>/dev/null; then
    echo "$row: still running 60 s after the second signal"; failures=$((failures + 1))
    kill -KILL "$pid"
  fi
  status=0
  wait "$pid" || status=$?
  pid=
  if [ "$status" -ne 1 ]; then
    echo "$row: exit status $status, expected 1"; cat "$folder.err"; failures=$((failures + 1))
  elif ! grep -q 'Nastavení nelze uložit do souboru' "$folder.err"; then
    echo "$row: the settings file's failure is not on standard error"; cat "$folder.err"; failures=$((failures + 1))
  else
    echo "$row: ended by the second signal, exit 1, failure on standard error"
  fi
done
[ "$failures" -eq 0 ]
