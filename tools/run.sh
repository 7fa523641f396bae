#!/usr/bin/env bash
# The run command: installs what is missing, builds, starts the module
# simulator on loopback and opens the program against it.
#
# The simulator listens on UDP 127.0.0.1 (the LAN converter DQ-2847), on
# port 5000 when that is free and else on a free port it picks, and offers a
# pseudo-terminal as COM9 (the standard COM port interface) through a private
# copy of the driver port map. The settings file beside the program is made
# for the LAN converter at that port on a first run; later runs change at
# most its UDP port, and only when it names the simulator's address.
# Without a display the program runs on a virtual X server of its own.
# Closing the program, or Ctrl+C, stops everything this script started.
# DQ_BUILD_DIR picks another build folder (default: build, the default preset).
set -euo pipefail
here=$PWD
cd "$(dirname "$0")/.."
root=$PWD

com_port=9
preferred_udp_port=5000
build=${DQ_BUILD_DIR:-build}
bin=$build/bin
settings=$bin/W_dq7184.ini

bash tools/setup.sh

if [ "$build" = build ]; then
  cmake --preset default >/dev/null
else
  cmake -S . -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target W_DQ7184 dq7184-sim dqdrivers

# Paths as the user types them: relative when the user stands in the
# repository, absolute otherwise.
shown() {
  case $1 in
    /*) printf '%s' "$1" ;;
    *) if [ "$here" = "$root" ]; then printf '%s' "$1"; else printf '%s/%s' "$root" "$1"; fi ;;
  esac
}

# True when something on this machine listens on UDP port $1 (IPv4 or IPv6).
udp_port_in_use() {
  local hex
  hex=$(printf '%04X' "$1")
  awk -v port="$hex" 'NR > 1 { split($2, parts, ":"); if (parts[2] == port) found = 1 } END { exit !found }' \
    /proc/net/udp /proc/net/udp6 2>/dev/null
}

rundir=$(mktemp -d "${TMPDIR:-/tmp}/dq7184-run.XXXXXX")
app_pid=""
sim_pid=""
xvfb_pid=""

# Ends process $1 with SIGTERM, after 5 s with SIGKILL, and reaps it.
stop() {
  local pid=$1
  [ -n "$pid" ] || return 0
  kill -TERM "$pid" 2>/dev/null || true
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

# The program goes first, while its X server and the module are still
# there, then the simulator, then the X server.
cleanup() {
  # A reader of the output that went with Ctrl+C (run.sh | tee) must not
  # end this script before the children are stopped.
  trap '' INT TERM HUP PIPE
  stop "$app_pid"
  stop "$sim_pid"
  stop "$xvfb_pid"
  rm -rf "$rundir"
}
interrupted() {
  trap '' PIPE
  {
    echo
    if [ -n "$xvfb_pid" ]; then
      echo "Stopping W_DQ7184, the simulator and the virtual X server."
    else
      echo "Stopping W_DQ7184 and the simulator."
    fi
  } 2>/dev/null
  exit "$1"
}
trap cleanup EXIT
trap 'interrupted 130' INT
trap 'interrupted 143' TERM
trap 'interrupted 129' HUP

# The children run in sessions of their own, so that Ctrl+C reaches only
# this script, which then stops them in the order above.
spawn() { setsid "$@" </dev/null & }

# Qt wants a private runtime folder of this user (mode 0700); without one,
# or with another user's (after su), it warns on every start.
runtime=${XDG_RUNTIME_DIR:-}
if [ -z "$runtime" ] || [ ! -d "$runtime" ] || [ ! -O "$runtime" ] || [ "$(stat -c %a "$runtime")" != 700 ]; then
  export XDG_RUNTIME_DIR=$rundir/xdg
  mkdir -m 0700 "$XDG_RUNTIME_DIR"
fi

# --- display ---------------------------------------------------------------

virtual_display=""
if [ -n "${DISPLAY:-}" ]; then
  # A local display whose server is Xvfb (as under xvfb-run) is virtual too.
  if [[ $DISPLAY =~ ^(unix)?:([0-9]+)(\.[0-9]+)?$ ]]; then
    lock=/tmp/.X${BASH_REMATCH[2]}-lock
    server=$(tr -dc '0-9' <"$lock" 2>/dev/null || true)
    if [ -n "$server" ] && [ "$(cat "/proc/$server/comm" 2>/dev/null)" = Xvfb ]; then
      virtual_display=$DISPLAY
    fi
  fi
elif [ -z "${WAYLAND_DISPLAY:-}" ]; then
  # No display: a virtual X server, reachable only with this run's cookie.
  # The server accepts every cookie of its file whatever display an entry
  # names, so a placeholder entry serves it; the clients' entry for the
  # number Xvfb picks is added once it has picked one.
  export XAUTHORITY=$rundir/Xauthority
  cookie=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
  (umask 077 && : >"$XAUTHORITY")
  xauth -q -f "$XAUTHORITY" add :0 MIT-MAGIC-COOKIE-1 "$cookie"
  spawn Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -auth "$XAUTHORITY" \
    3>"$rundir/display" >"$rundir/xvfb.log" 2>&1
  xvfb_pid=$!
  for _ in $(seq 100); do
    if [ -s "$rundir/display" ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then break; fi
    sleep 0.1
  done
  number=$(tr -dc '0-9' <"$rundir/display")
  if [ -z "$number" ]; then
    echo "error: the virtual X server (Xvfb) did not start:" >&2
    cat "$rundir/xvfb.log" >&2
    exit 1
  fi
  export DISPLAY=:$number
  xauth -q -f "$XAUTHORITY" add "$DISPLAY" MIT-MAGIC-COOKIE-1 "$cookie"
  virtual_display=$DISPLAY
fi

# --- simulator -------------------------------------------------------------

# The driver libraries read the port map named here. It starts as a copy of
# the user's own map, so real serial devices stay reachable, and the
# simulator adds its pseudo-terminal as COM9 to this copy only.
user_map=${XDG_CONFIG_HOME:-$HOME/.config}/dq7184/ports.conf
export DQ7184_PORTMAP=$rundir/ports.conf
if [ -f "$user_map" ]; then cp "$user_map" "$DQ7184_PORTMAP"; fi
control=$rundir/control.sock

# Starts the simulator on UDP port $1 (0: a free one) and waits until it is
# ready; false when it ended instead.
start_simulator() {
  : >"$rundir/sim.log"
  spawn "$bin/dq7184-sim" --udp-port "$1" --pty --com "$com_port" --port-map "$DQ7184_PORTMAP" \
    --control "$control" >"$rundir/sim.log" 2>&1
  sim_pid=$!
  for _ in $(seq 100); do
    if grep -qx ready "$rundir/sim.log"; then return 0; fi
    if ! kill -0 "$sim_pid" 2>/dev/null; then
      wait "$sim_pid" 2>/dev/null || true
      sim_pid=""
      return 1
    fi
    sleep 0.1
  done
  echo "error: the simulator did not get ready within 10 s:" >&2
  cat "$rundir/sim.log" >&2
  exit 1
}

if udp_port_in_use "$preferred_udp_port" || ! start_simulator "$preferred_udp_port"; then
  if ! start_simulator 0; then
    echo "error: the simulator did not start:" >&2
    cat "$rundir/sim.log" >&2
    exit 1
  fi
fi
udp_port=$(sed -n 's/^udp 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$rundir/sim.log")
pty=$(sed -n 's/^pty //p' "$rundir/sim.log")

# --- settings file ---------------------------------------------------------

# Windows-1250: \370 is ř, \355 is í.
connection_section=$'p\370ipojen\355'
interface_key=$'rozhran\355'

source tools/run-settings.sh
settings_note=""
settings_set_udp_port "$settings" "$udp_port"
interface=$(ini_get "$settings" "$connection_section" "$interface_key" 2>/dev/null || true)
case $interface in
  DQ-2847) connect="The settings select the LAN converter: choose \"Připojení\", then \"Inicializace připojení\"." ;;
  COMx) connect="The settings select a COM port: in \"Připojení\" choose port $com_port (the simulator) or \"LAN konvertor DQ-2847\", then \"Inicializace připojení\"." ;;
  *) connect="In \"Připojení\" choose \"LAN konvertor DQ-2847\" or \"Standardní COMx\" port $com_port, then \"Inicializace připojení\"." ;;
esac

# --- what the user is told -------------------------------------------------

cat <<EOF

Simulator: one DQ-7184/9 module at address 0, 9600 Bd, reachable as
  "LAN konvertor DQ-2847"  IP adresa 127.0.0.1, UDP port $udp_port
  "Standardní COMx"        port $com_port ($pty)
$settings_note

The simulator's control socket is $control
Change the module while the program runs, from another terminal:
  $(shown "$bin/dq7184-sim") ctl --control $control COMMAND
with COMMAND for example
  show                    everything the module holds now
  inputs set 0x0000000F   inputs DIN0-DIN3 on, the others off (ends the moving pattern)
  pulse 0 100             100 pulses on DIN0, which counter CNT 0 counts
  condition err24 on      a lasting 24 V supply fault (status bit ERR24); "off" ends it
  fault silence always    the module stops answering; "fault clear" ends it
  disappear pty           COM$com_port is unplugged; "appear" plugs it in again
  help                    every command (docs/simulator.md explains them)
EOF
if [ -n "$virtual_display" ]; then
  shot="DISPLAY=$virtual_display"
  if [ -n "${XAUTHORITY:-}" ]; then shot+=" XAUTHORITY=$XAUTHORITY"; fi
  cat <<EOF

The window is on the virtual X display $virtual_display: nobody can see or click it there.
Take a picture of it with
  $shot import -window root w_dq7184.png
To work in the window, run tools/run.sh on a desktop (or over ssh -X).
EOF
fi
cat <<EOF

Starting W_DQ7184. $connect
Stop everything: close the program's window, or press Ctrl+C here.

EOF

spawn "$bin/W_DQ7184"
app_pid=$!
status=0
wait "$app_pid" || status=$?
app_pid=""
exit "$status"
