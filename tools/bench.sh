#!/usr/bin/env bash
# Builds the benchmarks in release mode and runs them (by hand; they are
# never part of ctest). Figures depend on the machine being otherwise idle:
# the load average is printed first.
#
#   tools/bench.sh [NAME [ARGS...]]
#
# Without NAME every benchmark that is built runs with its default
# arguments: exchange_bench (exchanges through the whole stack),
# bench_startup (start-up time), bench_live (live windows) and bench_watch
# (the companion's watch engine). With NAME only
# that one runs, with ARGS, e.g.
#   tools/bench.sh exchange_bench --quick --markdown
#   tools/bench.sh scan_bench --line com     # the scan's sweep (about 10 min)
# DQ_BENCH_DIR names the build folder (default build-bench); DQ_BUILD_GUI=OFF
# builds without Qt (then only exchange_bench).
set -euo pipefail
cd "$(dirname "$0")/.."

dir=${DQ_BENCH_DIR:-build-bench}
gui=${DQ_BUILD_GUI:-ON}
all=(exchange_bench bench_startup bench_live bench_watch)

if [ $# -gt 0 ]; then
  names=("$1")
  shift
else
  names=("${all[@]}")
fi

echo "== configure $dir (Release)"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDQ_BUILD_BENCH=ON -DDQ_BUILD_TESTS=OFF \
  -DDQ_BUILD_GUI="$gui" -DDQ_SANITIZE=OFF >/dev/null

# Only the benchmarks this configuration defines (the GUI ones need Qt).
targets=$(cmake --build "$dir" --target help | sed -n 's/^\([A-Za-z0-9_.-]*\): .*/\1/p')
run=()
for name in "${names[@]}"; do
  if grep -qx "$name" <<<"$targets"; then
    run+=("$name")
  else
    echo "-- $name is not defined in this configuration; skipped"
  fi
done
[ ${#run[@]} -gt 0 ] || exit 1

echo "== build ${run[*]}"
cmake --build "$dir" -j "$(nproc)" --target "${run[@]}"

echo "== load average: $(cut -d' ' -f1-3 /proc/loadavg)"
status=0
for name in "${run[@]}"; do
  echo "== $name $*"
  "$dir/bin/$name" "$@" || status=$?
done
exit $status
