#!/usr/bin/env bash
# test-under-load.sh BUILD [RUNS]
# Runs the whole ctest suite RUNS times (default 1) with a CPU hog per core plus one beside
# it, as on a shared, busy machine. The hogs stop by themselves after HOG_SECONDS (default
# 3600) and are ended with the script in any case. Every wait of the tests is scaled by
# PH_TEST_TIME_SCALE (default 4 here), so a slow machine stretches deadlines, never asserts.
set -euo pipefail

build=$1
runs=${2:-1}
hogs=$(( $(nproc) + 1 ))
export PH_TEST_TIME_SCALE=${PH_TEST_TIME_SCALE:-4}

pids=()
stop_hogs() {
  [ ${#pids[@]} -gt 0 ] && kill "${pids[@]}" 2>/dev/null
  wait 2>/dev/null || true
}
trap stop_hogs EXIT
for _ in $(seq "$hogs"); do
  timeout "${HOG_SECONDS:-3600}" sh -c 'while :; do :; done' &
  pids+=($!)
done
echo "test-under-load: $hogs CPU hogs, deadlines scaled by $PH_TEST_TIME_SCALE, $runs run(s)"

for run in $(seq "$runs"); do
  echo "test-under-load: run $run of $runs"
  scripts/wine-session.sh "$build" ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
done
