#!/usr/bin/env bash
# Builds everything and runs the whole test suite twice: in an optimised build, and in a build
# with AddressSanitizer and UndefinedBehaviorSanitizer (any finding fails the run).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/format.sh --check
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest -j"$jobs" --output-on-failure)
tools/run_tests.sh

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DPAIRLAB_SANITIZE=ON -DPAIRLAB_BENCH=OFF >/dev/null
cmake --build build-sanitize -j"$jobs"
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
   UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest -j"$jobs" --output-on-failure)
fuzz/run.sh 30
echo "All tests passed (optimised and sanitizer builds)."
