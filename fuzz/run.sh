#!/usr/bin/env bash
# Builds the fuzz targets into build-fuzz/ with Debian's clang (installing it when missing) and
# runs each for the given number of seconds (default 60) from its seed corpus in
# fuzz/corpus/<target>/. Inputs the fuzzer adds go to build-fuzz/corpus/<target>/, findings to
# build-fuzz/findings/<target>/. Fails when any target finds something.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
targets=(parse_args user_freqs user_models user_phenotypes)

scripts/install-deps.sh clang libclang-rt-dev cmake make

cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPAIRLAB_FUZZ=ON -DPAIRLAB_TESTS=OFF -DPAIRLAB_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

# Absolute paths: each target moves into a temporary directory of its own.
root=$(pwd)
failed=()
for t in "${targets[@]}"; do
  mkdir -p "build-fuzz/corpus/$t" "build-fuzz/findings/$t"
  dict=fuzz/user_files.dict
  [ "$t" = parse_args ] && dict=fuzz/parse_args.dict
  echo "Fuzzing $t for ${seconds} s"
  # A run of one input longer than 10 s is a hang; the log keeps the fuzzer's chatter out of CI.
  if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "build-fuzz/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -dict="$root/$dict" -print_final_stats=1 -artifact_prefix="$root/build-fuzz/findings/$t/" \
    "$root/build-fuzz/corpus/$t" "$root/fuzz/corpus/$t" >"build-fuzz/findings/$t.log" 2>&1; then
    failed+=("$t")
    tail -n 60 "build-fuzz/findings/$t.log"
    echo "FINDING in $t: the input is in build-fuzz/findings/$t/"
  else
    grep -E "stat::number_of_executed_units|^Done" "build-fuzz/findings/$t.log" || true
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "Fuzzing found problems in: ${failed[*]}"
  exit 1
fi
echo "Fuzzing found nothing (${#targets[@]} targets, ${seconds} s each)."
