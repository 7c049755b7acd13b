#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang and runs each for a bounded time
# (seconds per harness: first argument, default 60) on a copy of its seed
# corpus. Any crash or broken property fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${FUZZ_BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S tests/fuzz -B "$build" -G Ninja >/dev/null
cmake --build "$build"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for harness in line_assembler command_line port_rest path_rules mask; do
  mkdir -p "$work/$harness"
  cp tests/fuzz/corpus/$harness/* "$work/$harness/"
  echo "fuzz_$harness: ${seconds}s"
  "$build/fuzz_$harness" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -artifact_prefix="$work/" \
      -print_final_stats=1 "$work/$harness" 2>"$work/$harness.log" \
    || { tail -n 60 "$work/$harness.log"; echo "fuzz_$harness FAILED"; exit 1; }
  grep -E "stat::number_of_executed_units" "$work/$harness.log" || true
done
echo "fuzzers: all passed"
