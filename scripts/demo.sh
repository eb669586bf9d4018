#!/usr/bin/env bash
# The main job: shows what the built deliverables do. Runs inside scripts/wine-session.sh.
set -euo pipefail
build=$1
bin="$build/bin"

echo "== Built deliverables"
file "$bin"/*.dll "$bin"/*.exe 2>/dev/null | grep -v _test.exe | sed "s|$bin/||"
