#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs the whole test suite under them; any report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
BUILD_DIR=${SANITIZE_BUILD_DIR:-build-asan} BUILD_TYPE=Debug bash scripts/build.sh -DQUILL_SANITIZE=ON
ctest --test-dir "${SANITIZE_BUILD_DIR:-build-asan}" --output-on-failure -j2
