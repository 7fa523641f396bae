#!/usr/bin/env bash
# Every binary of the build tree looks its shared libraries up only in
# fixed folders: each element of its RPATH or RUNPATH is an absolute path or
# starts with $ORIGIN. An empty element (CMake pads a build RPATH it means
# to rewrite at install with a trailing ':') or a relative one is the folder
# the program is started from, where anyone may plant a libgcc_s.so.1.
#
#   runpath_test.sh BUILD_DIR BINARY...
# The named binaries must be among those found, so that the walk cannot
# pass on an empty or moved tree.
set -euo pipefail

build_dir=$1
shift

checked=() failures=0
while IFS= read -r -d '' file; do
  [ "$(head -c 4 "$file" 2>/dev/null | od -An -c | tr -d ' ')" = '177ELF' ] || continue
  dynamic=$(readelf -d "$file" 2>/dev/null) || continue
  checked+=("$file")
  while IFS= read -r path; do
    [ -n "$path" ] || continue
    # The ':' added makes a trailing empty element visible to read -a.
    IFS=: read -r -a elements <<<"$path:"
    for element in "${elements[@]}"; do
      case $element in
        /* | '$ORIGIN' | '$ORIGIN/'* | '${ORIGIN}' | '${ORIGIN}/'*) ;;
        *)
          echo "FAIL: ${file#"$build_dir"/}: search path [$path] has element '$element'"
          failures=$((failures + 1))
          ;;
      esac
    done
  done < <(sed -n 's/.*(\(RPATH\|RUNPATH\)).*\[\(.*\)\]$/\2/p' <<<"$dynamic")
done < <(find "$build_dir" -type f \( -perm -u+x -o -name '*.so*' -o -name '*.DLL' \) -print0)

for name in "$@"; do
  found=0
  for file in "${checked[@]}"; do [ "$(basename "$file")" = "$name" ] && found=1; done
  if [ "$found" -eq 0 ]; then
    echo "FAIL: $name not found among the binaries of $build_dir"
    failures=$((failures + 1))
  fi
done

echo "${#checked[@]} binaries with a dynamic section checked, $failures faulty search paths"
[ "$failures" -eq 0 ]
