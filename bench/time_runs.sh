#!/usr/bin/env bash
# Times whole runs of the continuous-trait road.
#   (a) The default population (N 500), FND -choice 0.5, 100 matings per file, no data files,
#       under each encounter mode with -onechoosy 0 and 1: a run of 1000 files and a run of one
#       file, each the fastest of 5. The difference is the work of 999 files (encounters, the
#       correlation and the console line of each file) without the process start and set-up;
#       it is reported per encounter, in ns and in uniform draws (the cost of one draw from
#       BM_UniformDraw of the benchmark program, on the same machine).
#   (b) One short file for N 500, 5000 and 20000, dominated by building the pair table: wall
#       time and peak memory against the bound of a table and its sorted copy (2 x 8 x totpairs).
# Usage: bench/time_runs.sh [BUILD_DIR]   (default: build)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

draw_ns=$("$build/bench/pairlab_continuous_bench" --benchmark_filter='^BM_UniformDraw$' \
  --benchmark_repetitions=5 --benchmark_format=csv 2>/dev/null |
  awk -F, '/BM_UniformDraw_median/ {print $4}')
echo "one uniform draw: $draw_ns ns"

# Runs pairlab with the given options; prints the wall seconds (the fastest of `repeat` runs)
# and the peak resident memory in KB.
timed() {
  local repeat=$1 best="" kb start end
  shift
  for _ in $(seq "$repeat"); do
    rm -rf Out_Pairlab*
    start=$(date +%s%N)
    /usr/bin/time -f "%M" -o time.txt "$build/pairlab" -continuous 1 -fixseed 1 "$@" >/dev/null
    end=$(date +%s%N)
    kb=$(cat time.txt)
    best=$(awk -v a="$start" -v b="$end" -v best="$best" \
      'BEGIN {t = (b - a) / 1e9; if (best == "" || t < best) best = t; printf "%.4f", best}')
  done
  echo "$best $kb"
}

# Encounters of the run just made: mean female age x matings of all files.
encounters() {
  awk '/Mean female age/ {age = $NF} /Mean sample size/ {size = $NF}
    END {printf "%.0f", age * size * files}' files="$1" Out_Pairlab*/*Correl.txt
}

echo
echo "(a) N 500, FND -choice 0.5, -matings 100, -writefiles 0: 1000 files against 1 file"
printf "%-12s %-9s %10s %10s %12s %10s %13s\n" mode onechoosy 1000_files 1_file encounters \
  ns_per_enc uniform_draws
for model in 1 -10 -1; do
  for onechoosy in 0 1; do
    options=(-model $model -choice 0.5 -writefiles 0 -onechoosy $onechoosy)
    read -r many _ < <(timed 5 "${options[@]}" -numfiles 1000)
    manyEnc=$(encounters 1000)
    read -r one _ < <(timed 5 "${options[@]}" -numfiles 1)
    oneEnc=$(encounters 1)
    awk -v m=$model -v o=$onechoosy -v t1="$many" -v t0="$one" -v e1="$manyEnc" -v e0="$oneEnc" \
      -v d="$draw_ns" 'BEGIN {
      mode = m == 1 ? "replacement" : (m == -10 ? "mass" : "individual");
      ns = (t1 - t0) * 1e9 / (e1 - e0);
      printf "%-12s %-9s %10.4f %10.4f %12d %10.1f %13.2f\n", mode, o, t1, t0, e1, ns, ns / d }'
  done
done

echo
echo "(b) building the pair table (one file of 5 matings)"
printf "%-8s %14s %10s %12s %12s\n" N totpairs seconds peak_MB bound_MB
for n in 500 5000 20000; do
  read -r seconds kb < <(timed 1 -model 1 -choice 0.5 -N $n -matings 5)
  awk -v n=$n -v s="$seconds" -v kb="$kb" 'BEGIN {
    t = int(n / 2) * (n - int(n / 2));
    printf "%-8d %14d %10.3f %12.1f %12.1f\n", n, t, s, kb / 1024, 16 * t / 1048576 }'
done
