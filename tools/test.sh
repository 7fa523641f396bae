#!/usr/bin/env bash
# The test command: installs what is missing, builds, runs every test with
# ctest, then the same suite under AddressSanitizer + UndefinedBehaviorSanitizer,
# then short fuzz runs when clang is present.
# DQ_TEST_QUICK=1 skips the sanitizer and fuzz stages (for a quick local loop).
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh

jobs=$(nproc)
echo "== build (default preset)"
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"
echo "== tests (default preset)"
ctest --preset default -j "$jobs"

if [ "${DQ_TEST_QUICK:-0}" = "1" ]; then
  exit 0
fi

echo "== build (asan preset)"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
echo "== tests (asan preset)"
ctest --preset asan -j "$jobs"

if [ -x tools/fuzz-smoke.sh ] && command -v clang++ >/dev/null 2>&1; then
  echo "== fuzz smoke runs"
  bash tools/fuzz-smoke.sh
fi
