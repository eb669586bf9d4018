#!/usr/bin/env bash
# bench.sh BUILD: runs every benchmark of a release build inside scripts/wine-session.sh. Each
# program prints its medians and its ratios to a baseline measured in the same run.
set -euo pipefail
build=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin="$build/bin"
run="$build/wine-run.sh"

if [ -f "$bin/pagehull_bench.exe" ]; then
  echo "== Pagehull: frame publication"
  "$run" "$bin/pagehull_bench.exe"
fi

if [ -f "$bin/slidewarp_bench.exe" ]; then
  echo "== Slidewarp: conversion overhead beyond the presentation program's own work"
  "$source_dir/office_standins/install-standins.sh" "$build" >/dev/null
  "$run" "$bin/slidewarp_bench.exe"
fi
