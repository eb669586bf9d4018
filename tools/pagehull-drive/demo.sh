#!/usr/bin/env bash
# demo.sh BUILD_DIR
# Pagehull's part of the main job, run inside scripts/wine-session.sh: pagehull-drive plays the
# add-in, starts Pagehull.exe at a page, drives a whole session, prints every event text and
# the answers to the queries, closes the host and writes the last frame it received as a PNG
# picture, whose path it prints. The confirm comes from the page itself: pagehull-drive asks
# the scripted engine of our runtime to raise it.
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

echo "== Pagehull: the add-in's side starts the host and drives a session"
"$run" "$bin/pagehull-drive.exe" --png="$(windows_path "$picture")" \
  http://pagehull.demo/agenda "${steps[@]}" 2>&1 | tr -d '\r'

echo "== Pagehull: the page as the add-in received it, first and last"
for shown in "$first_picture" "$picture"; do
  echo "  $shown"
  echo "  $(file -b "$shown")"
done
