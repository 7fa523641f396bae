#!/usr/bin/env bash
# The release bundle made from the current build folder, unpacked into a
# fresh folder far from the build tree (its name holds a blank): its contents,
# the shared libraries its binaries need against the runtime packages named
# in the README, RUNPATH and library lookup after the move, the simulator and
# the driver libraries working from there, the documents naming no path of
# the source tree, the launcher script starting the program or saying what
# is missing, and the menu entry going in and out of a private home.
#
#   bundle_test.sh SOURCE_DIR BUILD_DIR PROBE VERSION ARCH SANITIZED
# Exit 77 (skipped) only when a tool it needs is missing.
set -euo pipefail

source_dir=$1 build_dir=$2 probe=$3 version=$4 arch=$5 sanitized=$6

for tool in cpack tar readelf ldd timeout desktop-file-validate; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    # desktop-file-validate comes with tools/setup.sh: its absence is a fault.
    [ "$tool" != desktop-file-validate ] || { echo "FAIL: desktop-file-validate is missing (desktop-file-utils)" >&2; exit 1; }
    echo "skipped: $tool is missing"
    exit 77
  fi
done

fail() { echo "FAIL: $*" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/dq7184-bundle.XXXXXX")
sim_pid="" app_pid=""
cleanup() {
  for pid in $app_pid $sim_pid; do kill -KILL "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# Sonames a bundle binary may need, with the Debian 12 package on the runtime
# line of the README that brings each. Qt's OpenGL libraries (libglx0,
# libopengl0) come as dependencies of libqt6gui6; some builds link them.
declare -A package_of=(
  [libQt6Widgets.so.6]=libqt6widgets6 [libQt6Gui.so.6]=libqt6gui6 [libQt6Core.so.6]=libqt6core6
  [libGLX.so.0]=libqt6gui6 [libOpenGL.so.0]=libqt6gui6
  [libstdc++.so.6]=libstdc++6 [libgcc_s.so.1]=libgcc-s1
  [libc.so.6]=libc6 [libm.so.6]=libc6 [libpthread.so.0]=libc6 [libdl.so.2]=libc6 [librt.so.1]=libc6
  [ld-linux-x86-64.so.2]=libc6 [ld-linux-aarch64.so.1]=libc6
)
# A sanitizer build needs the sanitizer runtimes besides; they are build-only
# and not on the runtime line.
declare -A build_only=()
if [ "$sanitized" = "ON" ] || [ "$sanitized" = "1" ]; then
  build_only=([libasan.so.8]=libasan8 [libubsan.so.1]=libubsan1)
fi
runtime_line=$(grep -m1 -E '^ *(sudo )?apt-get install .*libqt6widgets6' "$source_dir/README.md" || true)
[ -n "$runtime_line" ] || fail "README.md has no runtime apt-get install line"

# 1. The archive: its name and one top folder of the same name.
name=w-dq7184-$version-linux-$arch
archive=$(bash "$source_dir/tools/package.sh" --no-build --build-dir "$build_dir" --output "$work/out" | tail -n1)
[ "$archive" = "$work/out/$name.tar.gz" ] || fail "package made '$archive', expected $name.tar.gz"
tops=$(tar -tzf "$archive" | cut -d/ -f1 | sort -u)
[ "$tops" = "$name" ] || fail "top folders of the archive: $tops"

dest="$work/un packed"
mkdir -p "$dest"
tar -xzf "$archive" -C "$dest"
bundle=$dest/$name
for f in W_DQ7184 W_DQ7184.sh dq7184 TCOM847.DLL TPCI847.DLL TPCI2847.DLL TUSB2847.DLL TDQ2847.DLL dq7184-sim \
         docs/user-guide.md docs/protocol.md docs/simulator.md README.txt \
         w-dq7184.desktop w-dq7184.svg install.sh uninstall.sh; do
  [ -e "$bundle/$f" ] || fail "$f is missing from the bundle"
done
for f in W_DQ7184 W_DQ7184.sh dq7184 dq7184-sim install.sh uninstall.sh; do
  [ -x "$bundle/$f" ] || fail "$f is not executable"
done
[ ! -e "$bundle/W_dq7184.ini" ] || fail "the bundle ships a settings file"
grep -q -x -F -- "  ${runtime_line#"${runtime_line%%[! ]*}"}" "$bundle/README.txt" ||
  fail "README.txt in the bundle lacks the runtime line of README.md"
# Figures and links between the documents resolve inside the bundle.
for doc in "$bundle"/docs/*.md; do
  while read -r target; do
    [ -z "$target" ] || [ -f "$bundle/docs/$target" ] || fail "${doc#"$bundle"/} refers to $target, which the bundle lacks"
  done < <(grep -o '](\([^)#:]*\)[)#]' "$doc" | sed 's/^](//; s/[)#]$//' | sort -u)
done
# The documents tell how to do things from the unpacked folder: no path of
# the source or build tree, no audience marker left over.
dev_path='(^|[^[:alnum:]_./~-])(tools|build[[:alnum:]-]*|tests|sim|drivers|link|core|forms|app|cli|commission|report|cmake|packaging|bench|fuzz)/'
for doc in "$bundle"/docs/*.md "$bundle/README.txt"; do
  if grep -n -E -e "$dev_path" -e '<!-- */?(repository|bundle)' "$doc"; then
    fail "${doc#"$bundle"/} names a path of the source tree or keeps a marker (lines above)"
  fi
done

# 2. Every ELF file: needed libraries from the allowed packages only, no path
# into the build tree, and the program's RUNPATH is its own folder.
while IFS= read -r -d '' file; do
  [ "$(head -c4 "$file" | od -An -c | tr -d ' ')" = "177ELF" ] || continue
  dynamic=$(readelf -d "$file")
  if grep -q -F "$build_dir" <<<"$dynamic" || grep -q -F "$source_dir" <<<"$dynamic"; then
    fail "${file#"$bundle"/} keeps a path of the build tree: $(grep -E 'RPATH|RUNPATH' <<<"$dynamic")"
  fi
  for soname in $(sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' <<<"$dynamic"); do
    package=${package_of[$soname]:-}
    if [ -z "$package" ]; then
      [ -n "${build_only[$soname]:-}" ] || fail "${file#"$bundle"/} needs $soname, which no runtime package gives"
      continue
    fi
    grep -q -w -F -- "$package" <<<"$runtime_line" || fail "$soname needs $package, missing from the README line"
  done
done < <(find "$bundle" -type f -print0)
runpath=$(readelf -d "$bundle/W_DQ7184" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
[ "$runpath" = '$ORIGIN' ] || fail "RUNPATH of W_DQ7184 is '$runpath'"
if ldd "$bundle/W_DQ7184" | grep -q 'not found'; then
  fail "W_DQ7184 misses libraries after unpacking: $(ldd "$bundle/W_DQ7184" | grep 'not found')"
fi

# 3. The unpacked simulator on a free loopback port, and the driver libraries
# loaded from the bundle (by a probe sitting beside them, like the program).
"$bundle/dq7184-sim" --udp-port 0 --no-pty >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 200); do
  grep -q '^ready' "$work/sim.out" && break
  kill -0 "$sim_pid" 2>/dev/null || fail "the simulator ended: $(cat "$work/sim.err")"
  sleep 0.1
done
port=$(sed -n 's/^udp 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/sim.out")
[ -n "$port" ] || fail "the simulator gave no UDP port: $(cat "$work/sim.out" "$work/sim.err")"
cp "$probe" "$bundle/bundle_probe"
probe_out=$(timeout 60 "$bundle/bundle_probe" "$port") || fail "probe from the bundle: $probe_out"
rm -f "$bundle/bundle_probe"
echo "$probe_out"
grep -q '^module DQ' <<<"$probe_out" || fail "no module identified: $probe_out"
kill -TERM "$sim_pid"
wait "$sim_pid" 2>/dev/null || true
sim_pid=""

# 4. The program starts from the bundle through its launcher (offscreen) and
# stays up.
(cd "$work" && exec env QT_QPA_PLATFORM=offscreen "$bundle/W_DQ7184.sh") >"$work/app.log" 2>&1 &
app_pid=$!
sleep 2
kill -0 "$app_pid" 2>/dev/null || fail "W_DQ7184 ended at start: $(cat "$work/app.log")"
kill -KILL "$app_pid"
wait "$app_pid" 2>/dev/null || true
app_pid=""

# 5. The launcher script when the program cannot start: it says in Czech and
# English what is missing and what to do, and starts nothing. A stub ldd
# plays a loader that misses a Qt library; a stub zenity takes the message
# window that a start from the menu (no terminal) gets.
stubs=$work/stubs
mkdir -p "$stubs"
printf '#!/bin/sh\necho "	libQt6Widgets.so.6 => not found"\necho "	libc.so.6 => /lib/libc.so.6 (0x0)"\n' >"$stubs/ldd"
printf '#!/bin/sh\nprintf "%%s\\n" "$@" >>"%s/zenity.log"\n' "$work" >"$stubs/zenity"
chmod +x "$stubs/ldd" "$stubs/zenity"
# name | environment | status | texts the message holds (| separated)
launcher_cases=(
  "no display|-u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=|1|Není k dispozici grafický displej|no graphical display|ssh -X"
  "missing library|DISPLAY=:97 QT_QPA_PLATFORM= PATH=$stubs:$PATH|1|Chybí knihovny / Missing libraries: libQt6Widgets.so.6|install --no-install-recommends libqt6widgets6|${runtime_line#*apt-get install }"
)
# A local display whose socket is gone, where local X sockets live.
if [ -d /tmp/.X11-unix ] && [ ! -e /tmp/.X11-unix/X97 ]; then
  launcher_cases+=("gone display|-u WAYLAND_DISPLAY DISPLAY=:97 QT_QPA_PLATFORM=|1|Grafický displej :97 není dostupný|display :97 cannot be reached")
fi
for row in "${launcher_cases[@]}"; do
  IFS='|' read -r -a cell <<<"$row"
  read -r -a environment <<<"${cell[1]}"
  status=0
  timeout 20 env "${environment[@]}" "$bundle/W_DQ7184.sh" >"$work/launch.out" 2>"$work/launch.err" </dev/null || status=$?
  [ "$status" = "${cell[2]}" ] || fail "launcher, ${cell[0]}: status $status, $(cat "$work/launch.err")"
  [ ! -s "$work/launch.out" ] || fail "launcher, ${cell[0]}: the program started: $(cat "$work/launch.out")"
  for text in "${cell[@]:3}"; do
    grep -q -i -F -- "$text" "$work/launch.err" || fail "launcher, ${cell[0]}: no \"$text\" in: $(cat "$work/launch.err")"
  done
done
# With a display and no terminal, the message comes in a window too (only
# the missing-library case has the stub zenity on its PATH).
grep -q -F 'libqt6widgets6' "$work/zenity.log" 2>/dev/null || fail "launcher: no message window for the missing library"

# 6. The menu entry, into a private home and out again; installed and taken
# out by a relative path under a CDPATH that holds the bundle's parent.
home=$work/home
mkdir -p "$home"
(cd "$dest" && HOME=$home XDG_DATA_HOME= CDPATH=$dest "$name/install.sh") >/dev/null ||
  fail "install.sh by a relative path under CDPATH"
entry=$home/.local/share/applications/w-dq7184.desktop
[ -f "$entry" ] || fail "install.sh wrote no $entry"
exec_line=$(grep '^Exec=' "$entry")
[ "$exec_line" = "Exec=\"$bundle/W_DQ7184.sh\"" ] || fail "launcher line: $exec_line"
[ -f "$home/.local/share/icons/hicolor/scalable/apps/w-dq7184.svg" ] || fail "install.sh put no icon"
desktop-file-validate "$entry" || fail "desktop-file-validate rejects the launcher"
(cd "$dest" && HOME=$home XDG_DATA_HOME= CDPATH=$dest "$name/uninstall.sh") >/dev/null ||
  fail "uninstall.sh by a relative path under CDPATH"
left=$(find "$home" -type f)
[ -z "$left" ] || fail "uninstall.sh left: $left"

echo "bundle $name: contents, documents, libraries, simulator, drivers, program start, launcher script and menu entry checked"
