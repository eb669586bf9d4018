#!/usr/bin/env bash
# demo.sh BUILD_DIR
# pagehull-view's part of the main job, run inside scripts/wine-session.sh: the viewer opens the
# demo agenda in Chromium behind Pagehull, and a picture of its window is taken from X as soon as
# the page shows (many colours instead of the grey of an empty window); Alt+F4 then closes the
# viewer and its host.
set -euo pipefail

build=$(cd "$1" && pwd)
work="$build/demo/pagehull-view"
picture="$work/viewer.png"
rm -rf "$work"
mkdir -p "$work"

page_dir=$(winepath -w "$(cd "$(dirname "${BASH_SOURCE[0]}")/../pagehull-drive" && pwd)/demo-page" 2>/dev/null)
page_url="file:///$(echo "$page_dir" | tr '\\' /)/agenda.html"

echo "== pagehull-view: a live window on a hosted page"
"$build/wine-run.sh" "$build/bin/pagehull-view.exe" "$page_url" &
viewer=$!
trap 'kill "$viewer" 2>/dev/null || true' EXIT

source "$(dirname "${BASH_SOURCE[0]}")/viewer-window.sh"
window=$(viewer_window "agenda.html" 120)
end=$((SECONDS + 180))
until [ -s "$picture" ] && [ "$(identify -format %k "$picture")" -gt 64 ]; do
  [ $SECONDS -lt $end ] || { echo "  the page did not show in time"; break; }
  sleep 1
  import -window "$window" "$picture" 2>/dev/null || true
done
echo "  caption: $(xdotool getwindowname "$window")"
echo "  $picture"
echo "  $(file -b "$picture")"

xdotool mousemove --window "$window" 10 10 click 1 windowfocus "$window" key alt+F4 || true
wait "$viewer" || true
trap - EXIT
echo "  the viewer closed"
