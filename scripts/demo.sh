#!/usr/bin/env bash
# The main job: shows both deliverables doing their work. Runs inside scripts/wine-session.sh.
set -euo pipefail
build=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin="$build/bin"

echo "== Built deliverables"
for f in Pagehull.exe Slidewarp.dll; do
  [ -f "$bin/$f" ] && echo "  $f: $(file -b "$bin/$f")"
done

"$source_dir/tools/slidewarp/demo.sh" "$build"
"$source_dir/tools/pagehull-drive/demo.sh" "$build"
"$source_dir/tools/pagehull-view/demo.sh" "$build"
