#!/usr/bin/env bash
# Regenerates the user guide's figures (docs/images/*.png): builds
# dq-screenshots and runs it in a virtual X server against an in-process
# simulator. Arguments, if any, name the figures to make (default: all).
# DQ_BUILD_DIR picks another build folder (default: build, the default preset).
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh
build=${DQ_BUILD_DIR:-build}
if [ "$build" = build ]; then
  cmake --preset default >/dev/null
else
  cmake -S . -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" --target dq-screenshots

mkdir -p docs/images
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bin/dq-screenshots" docs/images "$@"
