#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer and UBSan, in
# build/fuzz), replays the committed corpus (fuzz/corpus/<target>), then fuzzes
# every target for SECONDS (default 1800) and prints the figures of the run.
#
#   scripts/fuzz.sh [SECONDS]
#
# KVL_FUZZ_TARGETS: the targets to run (default all); KVL_FUZZ_RUNS: stop a
# target after this many executions (default: run for SECONDS); KVL_JOBS:
# targets fuzzed at the same time (default 2); KVL_BUILD: the build folder
# (default build); KVL_FUZZ_TIMEOUT: seconds one input may take before it counts
# as a hang (default 60; an input takes milliseconds, but the limit is wall-clock
# time, and a campaign run under nice on a busy machine waits for the processor).
# New inputs go to build/fuzz/corpus/<target> and stay out of the repository. A
# finding (crash, failed check, leak, time-out) is written to build/fuzz/findings
# and fails the run: fix the fault and commit the input as
# fuzz/corpus/<target>/regression-<what it shows>.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-1800}
jobs=${KVL_JOBS:-2}
build=${KVL_BUILD:-$root/build}/fuzz
targets=${KVL_FUZZ_TARGETS:-receiver answers log_lines config_files typed_text sim_line}

echo "== Fuzz targets (clang, libFuzzer)"
mkdir -p "$build"
cmake -S "$root/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >"$build/cmake.log" 2>&1 ||
  { cat "$build/cmake.log"; exit 1; }
ninja -C "$build" -j"$jobs"

echo "== Replaying the corpus"
for t in $targets; do
  [ -d "$root/fuzz/corpus/$t" ] || { echo "no corpus for $t in fuzz/corpus" >&2; exit 1; }
  "$build/fuzz_$t" -runs=0 "$root/fuzz/corpus/$t" >"$build/replay_$t.log" 2>&1 ||
    { tail -n 40 "$build/replay_$t.log"; echo "corpus replay of $t failed" >&2; exit 1; }
  echo "$t: $(ls "$root/fuzz/corpus/$t" | wc -l) inputs replayed"
done

echo "== Fuzzing each target for $seconds s ($jobs at a time)"
mkdir -p "$build/findings"
# Longest input of a target: enough to overflow its buffers, short enough to run fast.
max_len() {
  case $1 in
    typed_text) echo 128 ;;
    answers) echo 512 ;;
    log_lines) echo 600 ;;
    config_files) echo 1100 ;;
    *) echo 1024 ;;
  esac
}
run() {
  local t=$1 status=0
  mkdir -p "$build/corpus/$t"
  "$build/fuzz_$t" -max_total_time="$seconds" -runs="${KVL_FUZZ_RUNS:--1}" -max_len="$(max_len "$t")" \
    -timeout="${KVL_FUZZ_TIMEOUT:-60}" -print_final_stats=1 \
    -artifact_prefix="$build/findings/$t-" "$build/corpus/$t" "$root/fuzz/corpus/$t" \
    >"$build/run_$t.log" 2>&1 || status=$?
  echo "$status" >"$build/status_$t"
}
for t in $targets; do
  rm -f "$build/status_$t"
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  run "$t" &
done
wait
failed=()
for t in $targets; do
  [ "$(cat "$build/status_$t" 2>/dev/null)" = 0 ] || failed+=("$t")
done

printf '%-14s %10s %14s %10s %8s\n' target seconds executions exec/s corpus
for t in $targets; do
  log=$build/run_$t.log
  stat() { sed -n "s/^stat::$1: *//p" "$log" | tail -n1; }
  runs=$(stat number_of_executed_units)
  rate=$(stat average_exec_per_sec)
  printf '%-14s %10s %14s %10s %8s\n' "$t" "$(( ${runs:-0} / (${rate:-0} > 0 ? rate : 1) ))" \
    "$runs" "$rate" "$(ls "$build/corpus/$t" | wc -l)"
done
if [ ${#failed[@]} -gt 0 ]; then
  for t in "${failed[@]}"; do
    echo "--- $t: finding (log $build/run_$t.log)" >&2
    grep -E 'check failed|ERROR|runtime error|SUMMARY|Test unit written' "$build/run_$t.log" >&2 || true
  done
  exit 1
fi
echo "no finding"
