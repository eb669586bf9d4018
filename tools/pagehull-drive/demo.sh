#!/usr/bin/env bash
# demo.sh BUILD_DIR
# Pagehull's part of the main job, run inside scripts/wine-session.sh: pagehull-drive plays the
# add-in, starts Pagehull.exe at a page, prints every event text and the answers to the three
# queries, clicks and types into the page, closes the host and writes the last frame it
# received as a PNG picture, whose path it prints.
set -euo pipefail

build=$(cd "$1" && pwd)
run="$build/wine-run.sh"
bin="$build/bin"
work="$build/demo/pagehull"
picture="$work/agenda.png"

rm -rf "$work"
mkdir -p "$work"

# Every input is painted before the close is carried out, so the last frame shows them all.
steps=(
  'wait loadEnd:*'
  'frame'
  'can-go-back'
  'can-go-forward'
  'url'
  'focus on'
  'move 480 300'
  'click 320 240 left'
  'click 600 420 right'
  'type Hello, Pagehull'
  'key 13'
  'close'
)

echo "== Pagehull: the add-in's side starts the host, asks the queries, clicks and types"
"$run" "$bin/pagehull-drive.exe" --png="$(winepath -w "$picture" 2>/dev/null)" \
  http://pagehull.demo/agenda "${steps[@]}" 2>&1 | tr -d '\r'

echo "== Pagehull: the page as the add-in received it"
echo "  $picture"
echo "  $(file -b "$picture")"
