#!/usr/bin/env bash
# bench.sh BUILD: runs every benchmark of a release build inside scripts/wine-session.sh and
# assembles their table rows into one table: printed at the end, and written to BUILD/bench.md
# and (tab-separated, for machines) BUILD/bench.tsv. A table from an earlier run in the same
# place adds a column with its figures, so runs can be compared. Benchmarks judge nothing: a
# missed goal is reported, never an error.
set -euo pipefail
build=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin="$build/bin"
run="$build/wine-run.sh"
tsv="$build/bench.tsv"
md="$build/bench.md"

# Other work on the machine shows in every figure, so the table says how busy it was.
load_before=$(cut -d' ' -f1 /proc/loadavg)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
: >"$work/rows"

# Runs one benchmark: its notes go to the terminal, its rows to the collection.
bench() {
  local title=$1; shift
  echo "== $title"
  if ! "$run" "$@" >"$work/out"; then
    echo "(the benchmark failed; its rows are missing)"
  fi
  grep -v $'^row\t' "$work/out" || true
  grep $'^row\t' "$work/out" | cut -f2- >>"$work/rows" || true
}

[ -f "$bin/pagehull_bench.exe" ] && bench "Pagehull: frame publication and event texts, in one process" \
  "$bin/pagehull_bench.exe"
[ -f "$bin/pagehull_e2e_bench.exe" ] && bench "Pagehull: the real host through its channel" \
  "$bin/pagehull_e2e_bench.exe"
[ -f "$bin/chromium_bench.exe" ] && bench "Pagehull on the Chromium engine, against Chromium alone" \
  "$bin/chromium_bench.exe"
if [ -f "$bin/slidewarp_bench.exe" ]; then
  "$source_dir/office_standins/install-standins.sh" "$build" >/dev/null
  bench "Slidewarp: conversion overhead beyond the presentation program's own work" "$bin/slidewarp_bench.exe"
fi

previous="$work/previous"
if [ -f "$tsv" ]; then
  tail -n +2 "$tsv" >"$previous"
else
  : >"$previous"
fi

{
  printf 'key\twhat\tfigure\tunit\tbaseline\tbaseline figure\tratio\tgoal\tverdict\n'
  cat "$work/rows"
} >"$tsv"

# The markdown table: one line per row, the previous figure looked up by key.
load="$load_before before, $(cut -d' ' -f1 /proc/loadavg) after"
awk -F'\t' -v when="$(date -u '+%Y-%m-%d %H:%M UTC')" -v load="$load" '
  FILENAME == ARGV[1] { before[$1] = $3 " " $4; next }
  FNR == 1 {
    print "Benchmarks of " when " (medians; ratio = figure / baseline; load average " load ")"
    print ""
    print "| Measure | Figure | Baseline | Baseline figure | Ratio | Goal | Verdict | Previous |"
    print "|---|---|---|---|---|---|---|---|"
    next
  }
  {
    previous = ($1 in before) ? before[$1] : "-"
    baseline = ($6 == "-") ? "-" : $6 " " $4
    printf "| %s | %s %s | %s | %s | %s | %s | %s | %s |\n", $2, $3, $4, $5, baseline, $7, $8, $9, previous
  }
' "$previous" "$tsv" >"$md"

echo
cat "$md"
echo
echo "(written to $md and $tsv)"
