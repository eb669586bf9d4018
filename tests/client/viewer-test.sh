#!/usr/bin/env bash
# viewer-test.sh BUILD_DIR
# pagehull-view seen from X, as a user sees it: its window (found by its class and the page's
# address in its caption) shows the scripted page's pixels, a click that xdotool sends to the
# window reaches the page (which marks it), and Alt+F4 closes the viewer and its host. Runs
# inside scripts/wine-session.sh (ctest does), which provides the X display and the Wine server.
# X gives no signal when a window has painted, so the pictures are taken again until they match
# or the deadline passes. Pictures are read at 8 bits a channel (import gives 16 by default).
set -euo pipefail

build=$(cd "$1" && pwd)
scale=${PH_TEST_TIME_SCALE:-1}
deadline_s=$((60 * scale))
page=http://pagehull.test/viewer
header='#28468C' # the scripted page's header band and border
background='#FAFAF4'
click='#DC1E1E' # its mark of a left click

"$build/wine-run.sh" "$build/bin/pagehull-view.exe" --cefcompat-engine=scripted "$page" &
viewer=$!
trap 'kill "$viewer" 2>/dev/null || true' EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

source "$(dirname "${BASH_SOURCE[0]}")/../../tools/pagehull-view/viewer-window.sh"
window=$(viewer_window "pagehull.test/viewer" "$deadline_s") ||
  fail "no window with the page's address in its caption"

# The colour of the window's pixel at x y, as #RRGGBB.
pixel() {
  import -window "$window" -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null | grep -o '#[0-9A-F]\{6\}' | head -n 1
}

# Waits until the pixel at x y has the colour.
await_pixel() {
  local end=$((SECONDS + deadline_s))
  until [ "$(pixel "$1" "$2")" = "$3" ]; do
    [ $SECONDS -lt $end ] || fail "pixel $1,$2 is $(pixel "$1" "$2"), expected $3 ($4)"
    sleep 0.2
  done
}

# The page's top left corner is the first pixel of its border in the window's picture (the
# window's own frame and caption, if Wine draws them, lie above and left of it).
end=$((SECONDS + deadline_s))
origin=""
until [ -n "$origin" ]; do
  origin=$(import -window "$window" -depth 8 txt:- 2>/dev/null | grep -m 1 "$header" | cut -d: -f1) || true
  [ -n "$origin" ] || { [ $SECONDS -lt $end ] || fail "the page was never painted"; sleep 0.2; }
done
left=${origin%,*}
top=${origin#*,}
echo "page painted at $left,$top in the window"

await_pixel $((left + 300)) $((top + 10)) "$header" "the header band"
await_pixel $((left + 300)) $((top + 300)) "$background" "the page's background"

x=$((left + 200))
y=$((top + 150))
xdotool mousemove --window "$window" "$x" "$y" click 1
# The page draws a cross at the click; its right arm lies beside the pointer's mark.
await_pixel $((x + 5)) "$y" "$click" "the click's mark"
echo "the click reached the page"

# The click made the viewer the active window, so the keys reach it.
xdotool windowfocus "$window" key alt+F4
end=$((SECONDS + deadline_s))
while kill -0 "$viewer" 2>/dev/null; do
  [ $SECONDS -lt $end ] || fail "the viewer did not end after Alt+F4"
  sleep 0.2
done
wait "$viewer" || fail "the viewer ended with $?"
trap - EXIT
echo "the viewer closed"
