#!/usr/bin/env bash
# Builds the fuzzers natively, writes their seeds and runs each one for SECONDS seconds, one
# after the other (the machine's cores are shared). Prints each fuzzer's executions and
# coverage; fails when any fuzzer finds a crash, a sanitizer report or a broken property.
#   fuzz/run.sh SECONDS [NAME...]
#   NAME: command_record reply_record shared_block package_part jpeg_frame
# Build folder: $FUZZ_BUILD, else build-fuzz in the repository.
# $FUZZ_MINIZIP_SOURCE may name minizip sources to instrument instead of Debian's library.
set -euo pipefail

usage="usage: fuzz/run.sh SECONDS [NAME...]"
seconds=${1:?$usage}
shift
# libFuzzer takes 0 as "no limit".
if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
  echo "$usage: SECONDS must be a positive number" >&2
  exit 2
fi
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD:-$repo/build-fuzz}

configure=(-DCMAKE_CXX_COMPILER=clang++-14 -DMINIZIP_SOURCE_DIR="${FUZZ_MINIZIP_SOURCE:-}")
if [ -n "${FUZZ_MINIZIP_SOURCE:-}" ]; then
  configure+=(-DCMAKE_C_COMPILER=clang-14)
fi
cmake -S "$repo/fuzz" -B "$build" "${configure[@]}" >/dev/null
cmake --build "$build" -j 2 >/dev/null
"$build/make_seeds" "$build/seeds"

# Longest input of each: a whole record, an area with texts, a damaged package, a small frame.
declare -A maxLength=([command_record]=4200 [reply_record]=4400 [shared_block]=16384 [package_part]=65536
                      [jpeg_frame]=32768)
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  names=(command_record reply_record shared_block package_part jpeg_frame)
fi
for name in "${names[@]}"; do
  if [ -z "${maxLength[$name]:-}" ]; then
    echo "$usage: no fuzzer named $name" >&2
    exit 2
  fi
done

failed=()
for name in "${names[@]}"; do
  corpus=$build/corpus/$name
  artifacts=$build/artifacts/$name
  log=$build/logs/$name.log
  mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
  status=ok
  # The corpus folder comes first: libFuzzer adds what it finds there, so runs build on
  # each other; the seeds are only read.
  if ! "$build/${name}_fuzzer" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
      -rss_limit_mb=2048 -malloc_limit_mb=512 -max_len="${maxLength[$name]}" \
      -artifact_prefix="$artifacts/" "$corpus" "$build/seeds/$name" >"$log" 2>&1; then
    status=FAILED
    failed+=("$name")
  fi
  done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1 || true)
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  coverage=$(sed -En 's/.* cov: ([0-9]+) ft: ([0-9]+) corp: ([^ ]+).*/edges \1, features \2, corpus \3/p' <<<"$done_line")
  printf '%-15s %-6s executions %s (%s/s), %s\n' "$name" "$status" "${executions:-?}" "${rate:-?}" "${coverage:-?}"
  if [ "$status" != ok ]; then
    grep -E 'ERROR|property broken|runtime error|Test unit written|SUMMARY' "$log" | head -n 20 | sed 's/^/    /'
    echo "    full log: $log"
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found faults in: ${failed[*]}" >&2
  exit 1
fi
