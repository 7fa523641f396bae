#!/usr/bin/env bash
# tools/setup.sh against fake dpkg-query, id, sudo and apt-get: what it runs
# and what it says for root, for a user with working sudo, and for a user
# who can install nothing. Nothing real is installed.
set -euo pipefail
setup=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A PATH of the few real tools setup.sh needs, and the fakes; no real sudo.
fake=$work/bin
mkdir "$fake"
cat >"$fake/dpkg-query" <<'FAKE'
#!/bin/bash
for last; do :; done
case " $FAKE_MISSING " in *" $last "*) exit 1 ;; esac
printf 'install ok installed'
FAKE
cat >"$fake/id" <<'FAKE'
#!/bin/bash
echo "$FAKE_UID"
FAKE
cat >"$fake/apt-get" <<'FAKE'
#!/bin/bash
echo "apt-get $* as=${FAKE_AS:-root} frontend=${DEBIAN_FRONTEND:-}" >>"$FAKE_LOG"
FAKE
cat >"$fake/sudo.works" <<'FAKE'
#!/bin/bash
[ "$1" = -n ] || { echo "sudo without -n" >>"$FAKE_LOG"; exit 1; }
shift
FAKE_AS=sudo exec "$@"
FAKE
cat >"$fake/sudo.refuses" <<'FAKE'
#!/bin/bash
echo "sudo: a password is required" >&2
exit 1
FAKE
chmod +x "$fake"/*
for tool in grep cat env true; do ln -s "$(type -P "$tool")" "$fake/$tool"; done

failures=0
# name | uid | sudo: works, refuses, none | missing packages | exit | apt-get calls | text on stderr
while IFS='|' read -r name uid sudo missing want_exit want_calls want_text; do
  rm -f "$fake/sudo" "$work/log"
  touch "$work/log"
  [ "$sudo" = none ] || cp "$fake/sudo.$sudo" "$fake/sudo"
  status=0
  PATH=$fake FAKE_UID=$uid FAKE_MISSING=$missing FAKE_LOG=$work/log \
    /bin/bash "$setup" >"$work/out" 2>"$work/err" || status=$?
  calls=$(paste -sd ';' "$work/log")
  if [ "$status" != "$want_exit" ] || [ "$calls" != "$want_calls" ] || { [ -n "$want_text" ] && ! grep -qF -- "$want_text" "$work/err"; }; then
    echo "FAIL $name: exit $status (want $want_exit)"
    echo "  calls: $calls"
    echo "  want:  $want_calls"
    echo "  stderr:"; sed 's/^/    /' "$work/err"
    failures=$((failures + 1))
  fi
done <<'ROWS'
nothing missing, no sudo|1000|none||0||
root installs, update first|0|none|xvfb|0|apt-get update -q as=root frontend=noninteractive;apt-get install -y -q --no-install-recommends xvfb as=root frontend=noninteractive|
user with sudo installs through it|1000|works|xvfb imagemagick|0|apt-get update -q as=sudo frontend=noninteractive;apt-get install -y -q --no-install-recommends xvfb imagemagick as=sudo frontend=noninteractive|
user whose sudo wants a password|1000|refuses|xvfb imagemagick|1||sudo apt-get update && sudo apt-get install -y xvfb imagemagick
user without sudo|1000|none|imagemagick|1||sudo is not installed
ROWS

if [ "$failures" -ne 0 ]; then exit 1; fi
echo "setup.sh: all cases passed"
