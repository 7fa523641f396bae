#!/usr/bin/env bash
# The program ends on SIGTERM, SIGINT and SIGHUP as "Konec" does: it writes
# its settings file beside itself and exits with status 0.
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
[ "$failures" -eq 0 ]
