#!/usr/bin/env bash
# demo.sh BUILD_DIR
# Slidewarp's part of the main job, run inside scripts/wine-session.sh: registers the stand-ins
# of the presentation program and its converter, makes a sample .pptx, converts it into a .ppt
# with the slidewarp command line (to a given and to a generated path), and shows what came out.
set -euo pipefail

build=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
run="$build/wine-run.sh"
bin="$build/bin"
work="$build/demo/slidewarp"

# The exit code of slidewarp is the status code, which it also prints: the demo goes on either
# way. LibreOffice, started by the stand-in, complains about Java; that is of no interest here.
slidewarp() {
  "$run" "$bin/slidewarp.exe" "$@" 2>&1 | tr -d '\r' | grep -v 'javaldx' || true
}

# Settings of the presentation-program stand-in (office_standins/README.md).
standin_setting() {
  wine reg add 'HKCU\Software\OfficeStandins\PowerPoint' /v "$1" /t REG_SZ /d "$2" /f >/dev/null
}

windows_path() {
  winepath -w "$1" 2>/dev/null
}

describe() {
  local path=$1
  echo "  $(file -b "$path")"
  echo "  $(stat -c %s "$path") bytes"
}

rm -rf "$work"
mkdir -p "$work"

echo "== Slidewarp: registering the presentation-program and converter stand-ins"
"$source_dir/office_standins/install-standins.sh" "$build"
# The stand-in's own defaults: LibreOffice at /usr/bin/soffice does the real conversion.
wine reg delete 'HKCU\Software\OfficeStandins' /f >/dev/null 2>&1 || true
if [ -x /usr/bin/soffice ]; then
  echo "  LibreOffice found: the stand-in converts through it"
else
  echo "  LibreOffice not installed: the stand-in writes an empty compound document"
fi

echo "== Slidewarp: a sample presentation"
"$run" "$bin/slidewarp-sample.exe" "$(windows_path "$work/sample.pptx")" "Converted by Slidewarp"
echo "  $work/sample.pptx"
describe "$work/sample.pptx"

echo "== slidewarp version / supported"
slidewarp version
slidewarp supported

echo "== slidewarp convert sample.pptx sample.ppt"
slidewarp convert "$(windows_path "$work/sample.pptx")" "$(windows_path "$work/sample.ppt")"
if [ -f "$work/sample.ppt" ]; then
  describe "$work/sample.ppt"
  if [ -x /usr/bin/soffice ]; then
    # LibreOffice reads the result back; the slide's text is the proof that it opened it.
    timeout 180 soffice --headless --norestore --convert-to fodp --outdir "$work/check" "$work/sample.ppt" \
      >/dev/null 2>&1 || true
    if grep -q "Converted by Slidewarp" "$work/check/sample.fodp" 2>/dev/null; then
      echo "  LibreOffice opens it and finds the slide's text \"Converted by Slidewarp\""
    else
      echo "  LibreOffice could not read it back"
    fi
  fi
fi

echo "== The same through the compatibility converter: the stand-in plays version 11.0, build 6500"
standin_setting Version 11.0
standin_setting Build 6500
slidewarp version
slidewarp convert "$(windows_path "$work/sample.pptx")" "$(windows_path "$work/sample-2003.ppt")"
if [ -f "$work/sample-2003.ppt" ]; then
  describe "$work/sample-2003.ppt"
fi
wine reg delete 'HKCU\Software\OfficeStandins' /f >/dev/null 2>&1 || true

echo "== slidewarp convert sample.pptx (generated output path), then delete"
report=$(slidewarp convert "$(windows_path "$work/sample.pptx")")
echo "$report"
output=$(echo "$report" | sed -n 's/^output: //p')
if [ -n "$output" ]; then
  describe "$(winepath -u "$output" 2>/dev/null)"
  slidewarp delete "$output"
fi
