#!/usr/bin/env bash
# Builds everything and runs the whole test suite twice: in an optimised build, and in a build
# with AddressSanitizer and UndefinedBehaviorSanitizer (any finding fails the run); between the
# two, the test of pairlab-sweep --slurm on a single-node SLURM cluster started for it (as root
# only: its daemons run as root; PAIRLAB_REQUIRE_SLURM=1 makes its absence a failure).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/format.sh --check
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest -j"$jobs" --output-on-failure)
tools/run_tests.sh
if [ "$(id -u)" -eq 0 ]; then
  scripts/slurm-test.sh
elif [ "${PAIRLAB_REQUIRE_SLURM:-0}" = 1 ]; then
  echo "The SLURM test needs root (its daemons run as root)." >&2
  exit 1
else
  echo "SLURM test skipped: it needs root (its daemons run as root)."
fi

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DPAIRLAB_SANITIZE=ON -DPAIRLAB_BENCH=OFF >/dev/null
cmake --build build-sanitize -j"$jobs"
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
   UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest -j"$jobs" --output-on-failure)
fuzz/run.sh 30
echo "All tests passed (optimised and sanitizer builds)."
