#!/usr/bin/env bash
# Whole runs of the continuous-trait road as researchers make them, timed by /usr/bin/time -v.
#   (a) Population sizes N = 10^3 ... 10^8 (up to LARGEST_N): -continuous 1 -model -1
#       -choice 0.5 -numfiles 3 -fixseed 1. Wall and processor seconds, peak resident memory,
#       and the bound of 100 bytes x N + 64 MiB it must stay under.
#   (b) The other branches and encounter processes at N = 10^7 (when LARGEST_N allows): the same
#       figures, since every continuous run must stay under the bound. (The negative branch uses
#       -tolerance 0.5: with the default a random pair's preference is some 10^-13 of the
#       largest, and a file would run to its limit of nfem x nmale encounters.)
#   (c) The time of a file at N = 10^6 against N = 500 (individual encounters, FND -choice 0.5,
#       default matings, no data files): runs of 3000 files less runs of 2 files (the fastest of
#       five each, by the clock), so that process start and set-up cancel.
# The ratios of single encounters and whole runs to uniform draws are measured in one process by
# build/bench/pairlab_continuous_bench (BM_Encounters, BM_WholeRun, BM_TimePerFile).
# Usage: bench/continuous_runs.sh [BUILD_DIR] [LARGEST_N]   (defaults: build, 100000000)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
largest=${2:-100000000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Runs pairlab with the options; prints wall seconds, processor seconds and peak RSS in KiB.
measure() {
  rm -rf Out_Pairlab*
  /usr/bin/time -v -o time.txt "$build/pairlab" -continuous 1 -fixseed 1 "$@" >/dev/null
  awk -F': ' '
    /Elapsed \(wall clock\)/ { n = split($2, p, ":"); wall = 0; for (i = 1; i <= n; i++) wall = wall * 60 + p[i] }
    /User time/ { user = $2 } /System time/ { sys = $2 }
    /Maximum resident set size/ { rss = $2 }
    END { printf "%.2f %.2f %d\n", wall, user + sys, rss }' time.txt
}

row() {  # label N wall cpu rss_kib
  awk -v label="$1" -v n="$2" -v wall="$3" -v cpu="$4" -v kib="$5" 'BEGIN {
    bound = (100 * n + 64 * 1048576) / 1048576; rss = kib / 1024;
    printf "%-34s %11d %9.2f %9.2f %10.1f %10.1f %9.1f  %s\n", label, n, wall, cpu, rss, bound,
      kib * 1024 / n, rss <= bound ? "ok" : "OVER" }'
}

header() {
  printf "%-34s %11s %9s %9s %10s %10s %9s\n" run N wall_s cpu_s peak_MiB bound_MiB B_per_ind
}

echo "(a) -model -1 -choice 0.5 -numfiles 3 over N"
header
for n in 1000 10000 100000 1000000 10000000 100000000; do
  [ "$n" -gt "$largest" ] && continue
  read -r wall cpu kib < <(measure -model -1 -choice 0.5 -N "$n" -numfiles 3)
  row "-model -1 -choice 0.5" "$n" "$wall" "$cpu" "$kib"
done

n=10000000
if [ "$n" -le "$largest" ]; then
  echo
  echo "(b) other runs at N = $n, -numfiles 3"
  header
  for options in "-model 1 -choice 0.5" "-model -10 -choice 0.5" "-model -1 -choice 0.5 -onechoosy 1" \
                 "-model -1 -choice -0.5 -tolerance 0.5" "-model -2 -choice 0.5 -bias 0.1" \
                 "-model -1 -choice 0.5 -age_params 1 2 0" "-model -10 -choice 0 -age_params 1 2 0" \
                 "-model -3" "-model -1 -choice 0.5 -writedistrib 1"; do
    # shellcheck disable=SC2086
    read -r wall cpu kib < <(measure $options -N "$n" -numfiles 3)
    row "$options" "$n" "$wall" "$cpu" "$kib"
  done
fi

echo
echo "(c) time of a file, -model -1 -choice 0.5 (3000 files less 2 files, fastest of 5)"
# Wall nanoseconds of one run without data files.
nanoseconds() {
  rm -rf Out_Pairlab*
  local start end
  start=$(date +%s%N)
  "$build/pairlab" -continuous 1 -fixseed 1 -model -1 -choice 0.5 -writefiles 0 "$@" >/dev/null
  end=$(date +%s%N)
  echo $((end - start))
}
printf "%-10s %12s\n" N us_per_file
for n in 500 1000000; do
  many="" two=""
  for _ in 1 2 3 4 5; do
    t=$(nanoseconds -N "$n" -numfiles 3000); [ -z "$many" ] || [ "$t" -lt "$many" ] && many=$t
    t=$(nanoseconds -N "$n" -numfiles 2); [ -z "$two" ] || [ "$t" -lt "$two" ] && two=$t
  done
  perfile=$(awk -v a="$many" -v b="$two" 'BEGIN { printf "%.2f", (a - b) / 2998 / 1000 }')
  printf "%-10d %12s\n" "$n" "$perfile"
  eval "perfile_$n=$perfile"
done
awk -v a="$perfile_1000000" -v b="$perfile_500" 'BEGIN { printf "ratio N 10^6 / N 500: %.2f\n", a / b }'
