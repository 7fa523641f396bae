#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one briefly on its
# seed corpus. FUZZ_SECONDS sets the time per target (default 8). For a long
# run: FUZZ_SECONDS=600 tools/fuzz-smoke.sh
# FUZZ_BUILD_DIR names a build folder configured like the preset (default
# build-fuzz, configured here by the preset).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-8}
build=${FUZZ_BUILD_DIR:-build-fuzz}

if [ -z "${FUZZ_BUILD_DIR:-}" ]; then
  cmake --preset fuzz >/dev/null
fi
cmake --build "$build" -j "$(nproc)"

status=0
for target in "$build"/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  seeds=fuzz/corpus/${name#fuzz_}
  work=$build/corpus/$name
  mkdir -p "$work" "$build"/artifacts
  args=("$work")
  [ -d "$seeds" ] && args+=("$seeds")
  log=$build/$name.log
  if "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$build"/artifacts/"$name"- "${args[@]}" >"$log" 2>&1; then
    echo "$name: $(grep -Eo 'stat::number_of_executed_units: [0-9]+|Done [0-9]+ runs' "$log" | tail -1)"
  else
    echo "$name: FAILED (see $log)"
    tail -30 "$log"
    status=1
  fi
done
exit $status
