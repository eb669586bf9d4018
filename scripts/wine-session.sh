#!/usr/bin/env bash
# wine-session.sh BUILD_DIR COMMAND...
# Runs COMMAND with one Xvfb and one persistent wineserver for the build's prefix, and stops
# both afterwards whatever COMMAND's outcome. Exits with COMMAND's status.
set -uo pipefail

build=$(cd "$1" && pwd); shift
export WINEPREFIX="$build/wineprefix"
export WINEARCH=$(cat "$build/wine-arch" 2>/dev/null || echo win32)
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

work=$(mktemp -d)
xvfb_pid=""
cleanup() {
  wineserver -k >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Debian's wine and its tool launchers always take the 32-bit loader when wine32 is installed;
# a 64-bit build's session takes the 64-bit one, which also runs where the kernel refuses i386.
# Wine derives a 32-bit process's loader from WINELOADER without its "64"; that one is left
# missing, so the prefix's own 32-bit parts fail at once instead of crawling under emulation.
if [ "$WINEARCH" = win64 ]; then
  mkdir "$work/bin" "$work/loader"
  for launcher in bin/wine bin/wine-stable loader/wine64; do
    printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$work/$launcher"
    chmod +x "$work/$launcher"
  done
  export PATH="$work/bin:$PATH" WINELOADER="$work/loader/wine64"
fi

# Xvfb names its display on the given descriptor once it accepts clients: no polling.
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1920x1200x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
if ! read -r display_number <"$work/display"; then
  echo "wine-session: Xvfb did not start:" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$display_number"

mkdir -p "$WINEPREFIX"
wineserver -p
# Boot (or create) the prefix now, with output to nowhere: Wine's own background processes
# (services, explorer) would otherwise start with the first test and inherit its output pipe,
# and ctest would wait for that pipe to close until the time-out. Plain wineboot, not "-i":
# on a new prefix "-i" boots twice, and the second services.exe keeps RPC from starting.
wineboot >/dev/null 2>&1 </dev/null

"$@"
