#!/usr/bin/env bash
# The run command: installs what is missing, builds, and runs the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
if [ ! -x build/bin/W_DQ7184 ]; then
  echo "The program W_DQ7184 is not built yet: its windows are still being written."
  exit 0
fi
exec build/bin/W_DQ7184
