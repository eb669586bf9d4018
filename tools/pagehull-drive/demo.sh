#!/usr/bin/env bash
# demo.sh BUILD_DIR
# Pagehull's part of the main job, run inside scripts/wine-session.sh: pagehull-drive plays the
# add-in, starts Pagehull.exe at a page, drives a whole session, prints every event text and
# the answers to the queries, closes the host and writes the last frame it received as a PNG
# picture, whose path it prints. Two sessions: first a real page (demo-page/, an agenda with its
# own style sheet and script) on the host as an add-in starts it, where Chromium shows the page
# and everything comes from the page itself; then the runtime's scripted engine, the one the
# tests use, whose confirm pagehull-drive asks the engine to raise.
set -euo pipefail

build=$(cd "$1" && pwd)
run="$build/wine-run.sh"
bin="$build/bin"
work="$build/demo/pagehull"
picture="$work/agenda.png"
first_picture="$work/first.png"

rm -rf "$work"
mkdir -p "$work"
windows_path() { winepath -w "$1" 2>/dev/null; }

# A whole session: a load and the way back, the three queries, a click and keys, a script, a
# confirm that the page raises and the add-in answers, a resize and the close. Every input is
# painted before the close is carried out, so the last frame shows them all.
steps=(
  'wait loadEnd:*'
  'frame'
  "png $(windows_path "$first_picture")"
  'url'
  'load http://pagehull.demo/minutes'
  'wait loadEnd:*'
  'can-go-back true'
  'back'
  'wait loadEnd:*'
  'can-go-forward true'
  'url http://pagehull.demo/agenda'
  'focus on'
  'move 480 300'
  'click 320 240 left'
  'click 600 420 right'
  'type Hello, Pagehull'
  'key 13'
  "script document.title = 'Agenda, reviewed'"
  'page dialog confirm Keep%20this%20agenda%20for%20Monday?'
  'wait confirm:*'
  'dialog ok'
  'resize 1024 640'
  'close'
)

# The real page: a click into its field and typed text, which the page reports through the
# bridge; a confirm the page raises and the add-in answers, whose answer the page shows; a
# window.open the host refuses and reports; another page, back and forward, the agenda again
# (it keeps its state for the session); a resize; the close. Chromium's start and the first
# paint take a while under Wine: the waits are long.
page_dir="$(windows_path "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/demo-page")"
page_url="file:///$(echo "$page_dir" | tr '\\' /)"
real_picture="$work/real-last.png"
real_first_picture="$work/real-first.png"
real_steps=(
  'timeout 90000'
  'wait JSDispatch:agendaReady:*'
  # The page's clock paints every second: the second frame after its script ran shows it.
  'frame'
  'frame'
  "png $(windows_path "$real_first_picture")"
  'click 200 138 left'
  'type Budget review'
  'key 13'
  'wait JSDispatch:added:*'
  'click 640 138 left'
  'wait confirm:*'
  'dialog ok'
  'wait JSDispatch:published:*'
  'click 780 138 left'
  'wait JSDispatch:windowOpen:*'
  "load $page_url/minutes.html"
  'wait address:*/minutes.html'
  'wait loadEnd:*'
  'can-go-back true'
  'back'
  'wait address:*/agenda.html'
  'wait loadEnd:*'
  'can-go-forward true'
  'forward'
  'wait address:*/minutes.html'
  'wait loadEnd:*'
  "load $page_url/agenda.html"
  'wait address:*/agenda.html'
  'wait loadEnd:*'
  'resize 900 640'
  'wait JSDispatch:resized:*'
  'frame 900 640'
  'close'
)

echo "== Pagehull: the add-in's side starts the host at a real page, shown by Chromium"
"$run" "$bin/pagehull-drive.exe" \
  --png="$(windows_path "$real_picture")" "$page_url/agenda.html" "${real_steps[@]}" 2>&1 | tr -d '\r'

echo "== Pagehull on the scripted engine, the one the tests use: a session it steers"
"$run" "$bin/pagehull-drive.exe" --host-switch=--cefcompat-engine=scripted --png="$(windows_path "$picture")" \
  http://pagehull.demo/agenda "${steps[@]}" 2>&1 | tr -d '\r'

echo "== Pagehull: the pages as the add-in received them, first and last"
for shown in "$real_first_picture" "$real_picture" "$first_picture" "$picture"; do
  echo "  $shown"
  echo "  $(file -b "$shown")"
done
