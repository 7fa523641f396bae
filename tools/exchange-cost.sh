#!/usr/bin/env bash
# Cost of one UDP exchange, counted by valgrind (instructions are repeatable,
# whatever else the machine does; seconds are not):
#   tools/exchange-cost.sh [BUILD_DIR] [COMMAND]
# BUILD_DIR defaults to build (the default preset); COMMAND is inputs
# (default), counters or register.
#
# Client: bench/exchange_cost (ModuleExchange -> TDQ2847.DLL) against
# dq7184-sim on 127.0.0.1, under callgrind for instructions and memcheck for
# heap allocations. Simulator: the same, the simulator under valgrind and the
# client native. Each figure is (run with N2 - run with N1) / (N2 - N1), so
# start-up, loading and shut-down cancel out.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
command=${2:-inputs}
bin=$build/bin
for f in exchange_cost dq7184-sim TDQ2847.DLL; do
  [ -e "$bin/$f" ] || { echo "error: $bin/$f is missing (build the exchange_cost target)" >&2; exit 1; }
done
command -v valgrind >/dev/null || { echo "error: valgrind is not installed" >&2; exit 1; }

n1=200
n2=1200
work=$(mktemp -d)
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# Starts the simulator (under the given wrapper, maybe none) on a free UDP
# port of 127.0.0.1 and sets $port.
start_sim() {
  local out=$work/sim.out
  : > "$out"
  "$@" "$bin/dq7184-sim" --no-pty --udp-port 0 --bind 127.0.0.1 --no-input-pattern >"$out" 2>"$work/sim.err" &
  sim_pid=$!
  for _ in $(seq 1 600); do
    if grep -q '^ready' "$out"; then break; fi
    sleep 0.1
  done
  port=$(sed -n 's/^udp 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$out")
  [ -n "$port" ] || { echo "error: simulator did not start" >&2; cat "$work/sim.err" >&2; exit 1; }
}

stop_sim() {
  kill -TERM "$sim_pid"
  wait "$sim_pid" || true
  sim_pid=
}

instructions() {  # callgrind output file -> total instructions
  sed -n 's/^summary: *\([0-9]*\).*/\1/p' "$1" | head -1
}

allocations() {  # memcheck log -> heap allocations
  sed -n 's/.*total heap usage: \([0-9,]*\) allocs.*/\1/p' "$1" | tr -d , | head -1
}

per_exchange() {  # value at n1, value at n2
  awk -v a="$1" -v b="$2" -v n1=$n1 -v n2=$n2 'BEGIN { printf "%.1f", (b - a) / (n2 - n1) }'
}

client() {  # tool, count, output file
  local tool=$1 n=$2 out=$3
  if [ "$tool" = callgrind ]; then
    valgrind --tool=callgrind --callgrind-out-file="$out" "$bin/exchange_cost" --port "$port" --count "$n" \
      --command "$command" 2>/dev/null
  else
    valgrind --tool=memcheck --leak-check=no --log-file="$out" "$bin/exchange_cost" --port "$port" --count "$n" \
      --command "$command"
  fi
}

start_sim
client callgrind $n1 "$work/c1.cg"
client callgrind $n2 "$work/c2.cg"
client memcheck $n1 "$work/c1.mc"
client memcheck $n2 "$work/c2.mc"
stop_sim
client_ir=$(per_exchange "$(instructions "$work/c1.cg")" "$(instructions "$work/c2.cg")")
client_alloc=$(per_exchange "$(allocations "$work/c1.mc")" "$(allocations "$work/c2.mc")")

sim_side() {  # tool, count -> figure of that run
  local tool=$1 n=$2
  if [ "$tool" = callgrind ]; then
    start_sim valgrind --tool=callgrind --callgrind-out-file="$work/s$n.cg"
  else
    start_sim valgrind --tool=memcheck --leak-check=no --log-file="$work/s$n.mc"
  fi
  "$bin/exchange_cost" --port "$port" --count "$n" --command "$command"
  stop_sim
  if [ "$tool" = callgrind ]; then instructions "$work/s$n.cg"; else allocations "$work/s$n.mc"; fi
}
sim_ir=$(per_exchange "$(sim_side callgrind $n1)" "$(sim_side callgrind $n2)")
sim_alloc=$(per_exchange "$(sim_side memcheck $n1)" "$(sim_side memcheck $n2)")

echo "command $command, build $build, exchanges $n1 and $n2"
echo "| side | instructions per exchange | heap allocations per exchange |"
echo "|---|---|---|"
echo "| client (ModuleExchange + TDQ2847.DLL) | $client_ir | $client_alloc |"
echo "| simulator | $sim_ir | $sim_alloc |"
