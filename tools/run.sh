#!/usr/bin/env bash
# The run command: installs what is missing, builds, starts the module
# simulator on loopback and opens the program against it.
#
# The simulator listens on UDP 127.0.0.1:5000 (the LAN converter DQ-2847) and
# offers a pseudo-terminal as COM9 (the standard COM port interface) through
# a private copy of the driver port map. A first run writes a settings file
# for the LAN converter at 127.0.0.1; later runs keep the user's settings.
# Closing the program stops the simulator this script started.
set -euo pipefail
cd "$(dirname "$0")/.."

udp_port=5000
com_port=9
bin=build/bin
settings=$bin/W_dq7184.ini

bash tools/setup.sh

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<EOF
No display is available (neither DISPLAY nor WAYLAND_DISPLAY is set), so the
program's window cannot be shown. To run it in a virtual X server instead:

    xvfb-run -a tools/run.sh

(xvfb-run comes with the Debian package xvfb, which tools/setup.sh has installed.)
EOF
  exit 2
fi

cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target W_DQ7184 dq7184-sim dqdrivers

# True when something on this machine listens on UDP port $1 (IPv4 or IPv6).
udp_port_in_use() {
  local hex
  hex=$(printf '%04X' "$1")
  awk -v port="$hex" 'NR > 1 { split($2, parts, ":"); if (parts[2] == port) found = 1 } END { exit !found }' \
    /proc/net/udp /proc/net/udp6 2>/dev/null
}

rundir=$(mktemp -d "${TMPDIR:-/tmp}/dq7184-run.XXXXXX")
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$rundir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

# The driver libraries read the port map named here. It starts as a copy of
# the user's own map, so real serial devices stay reachable, and the
# simulator adds its pseudo-terminal as COM9 to this copy only.
user_map=${XDG_CONFIG_HOME:-$HOME/.config}/dq7184/ports.conf
export DQ7184_PORTMAP=$rundir/ports.conf
if [ -f "$user_map" ]; then cp "$user_map" "$DQ7184_PORTMAP"; fi

if udp_port_in_use "$udp_port"; then
  echo "UDP port $udp_port is already in use: assuming a simulator is listening on 127.0.0.1:$udp_port and using it."
  echo "(No simulator is started, so COM$com_port is not offered by this run.)"
else
  "$bin/dq7184-sim" --udp-port "$udp_port" --pty --com "$com_port" --port-map "$DQ7184_PORTMAP" \
    --control "$rundir/control.sock" >"$rundir/sim.log" 2>&1 &
  sim_pid=$!
  # Ready when it listens on the UDP port and has entered COM9 in the map.
  for _ in $(seq 50); do
    if ! kill -0 "$sim_pid" 2>/dev/null; then
      echo "error: the simulator did not start:" >&2
      cat "$rundir/sim.log" >&2
      sim_pid=""
      exit 1
    fi
    if udp_port_in_use "$udp_port" && grep -qi "^COM$com_port *=" "$DQ7184_PORTMAP" 2>/dev/null; then
      break
    fi
    sleep 0.1
  done
  if ! udp_port_in_use "$udp_port"; then
    echo "error: the simulator does not listen on UDP port $udp_port after 5 s:" >&2
    cat "$rundir/sim.log" >&2
    exit 1
  fi
  echo "Simulator running: UDP 127.0.0.1:$udp_port, COM$com_port = $(sed -n "s/^COM$com_port *= *//Ip" "$DQ7184_PORTMAP" | head -n1), module address 0."
fi

# First run: connect to the LAN converter at 127.0.0.1 (Windows-1250 text:
# \370 is ř, \355 is í).
if [ ! -e "$settings" ]; then
  printf '[P\370ipojen\355]\r\nRozhran\355=DQ-2847\r\nAdresa=0\r\nRychlost=9600\r\n[DQ-2847]\r\nIP adresa=127.0.0.1\r\nUDP port=%d\r\nUDP timeout=200\r\n' \
    "$udp_port" >"$settings"
  echo "Wrote $settings for the LAN converter at 127.0.0.1:$udp_port."
fi

echo "Starting W_DQ7184; choose \"Připojení\", then \"Inicializace připojení\"."
"$bin/W_DQ7184"
