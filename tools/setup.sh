#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
# Used by the run and test commands; safe to run again.
#
# As root it runs apt-get itself; otherwise through sudo when sudo works
# without a password prompt. A user who can do neither is told which
# packages are missing and the command an administrator runs, and the
# script fails, as nothing can be built without them.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev
  xvfb xauth fonts-dejavu-core imagemagick
  clang libclang-rt-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  as_root=(env)
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  as_root=(sudo -n env)
else
  if command -v sudo >/dev/null 2>&1; then
    why="is not root, and sudo does not let it run commands without a password"
  else
    why="is not root, and sudo is not installed"
  fi
  cat >&2 <<EOF
These Debian packages are needed but not installed:

    ${missing[*]}

Nothing has been installed: this user $why.
An administrator installs them with:

    sudo apt-get update && sudo apt-get install -y ${missing[*]}

(or, as root: apt-get update && apt-get install -y ${missing[*]})
Then run the command again.
EOF
  exit 1
fi

echo "Installing missing packages: ${missing[*]}"
"${as_root[@]}" DEBIAN_FRONTEND=noninteractive apt-get update -q
"${as_root[@]}" DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
