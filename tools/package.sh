#!/usr/bin/env bash
# The release command: installs what is missing, builds in release mode and
# makes the bundle w-dq7184-<version>-linux-<arch>.tar.gz with CPack, in the
# build folder (or in --output DIR); the last line printed is its path.
#
#   tools/package.sh [--no-build] [--build-dir DIR] [--output DIR]
#
# --no-build packages the build folder as it stands (after a build of its
# own); DQ_PACKAGE_BUILD_DIR names the build folder too (default build-release).
set -euo pipefail
unset CDPATH
cd "$(dirname "$0")/.."
root=$(pwd)

build_dir=${DQ_PACKAGE_BUILD_DIR:-build-release}
output=
build=1
while [ $# -gt 0 ]; do
  case $1 in
    --no-build) build=0 ;;
    --build-dir) build_dir=${2:?--build-dir wants a folder}; shift ;;
    --output) output=${2:?--output wants a folder}; shift ;;
    -h|--help) sed -n '2,10s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "error: unknown argument $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done
case $build_dir in /*) ;; *) build_dir=$root/$build_dir ;; esac
output=${output:-$build_dir}

if [ "$build" -eq 1 ]; then
  bash tools/setup.sh
  launcher=()
  if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DDQ_BUILD_TESTS=OFF -DDQ_BUILD_BENCH=OFF -DDQ_SANITIZE=OFF -DDQ_FUZZ=OFF -DDQ_BUILD_GUI=ON "${launcher[@]}" >/dev/null
  cmake --build "$build_dir" -j "$(nproc)"
elif [ ! -f "$build_dir/CPackConfig.cmake" ]; then
  echo "error: $build_dir is not a configured build folder (run without --no-build)" >&2
  exit 1
fi

mkdir -p "$output"
output=$(cd "$output" && pwd)
cpack --config "$build_dir/CPackConfig.cmake" -B "$output" >/dev/null
name=$(sed -n 's/^set(CPACK_PACKAGE_FILE_NAME "\(.*\)")$/\1/p' "$build_dir/CPackConfig.cmake")
rm -rf "$output/_CPack_Packages"
archive=$output/$name.tar.gz
if [ ! -f "$archive" ]; then
  echo "error: CPack did not make $archive" >&2
  exit 1
fi
echo "$archive"
