#!/usr/bin/env bash
# Peak memory and time of the merge and the summary of a large sweep (what pairlab-sweep does
# after its jobs), on a synthetic sweep directory: JOBS points of one job each, every job's
# tables those of one real continuous run of 10,000 files of 100 pairs (10^6 pair rows; the
# files hard-linked into every job's output directory). The merged pairs.tsv holds JOBS x 10^6
# rows, about 110 bytes each: the default, 100 jobs, writes 10^8 rows, some 11 GB.
#
#   bench/sweep_merge.sh [JOBS] [FOLDER]    JOBS default 100; FOLDER default /tmp
#
# PAIRLAB_TOOLS=DIR merges with the pairlab_tools package in DIR (e.g. an earlier version).
# Prints /usr/bin/time -v's peak resident memory and wall time of the merge and the summary,
# and the rows merged; the target is a peak below 500 MiB whatever the rows. The synthetic
# directory is removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=${1:-100}
folder=${2:-/tmp}
binary=${PAIRLAB_BINARY:-$root/build/pairlab}
need=$(( jobs * 115 + 500 ))  # MB
free=$(df -Pm "$folder" | awk 'NR == 2 {print $4}')
[ "$free" -gt "$need" ] || { echo "$0: $need MB needed in $folder, $free MB free" >&2; exit 1; }
work=$(mktemp -d "$folder/pairlab-merge-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# One real run: 10^4 files of 100 pairs.
mkdir "$work/run"
(cd "$work/run" && "$binary" -continuous 1 -model -1 -numfiles 10000 -tidy 2 -writefiles 0 \
  -fixseed 1 >/dev/null)
output=$(cd "$work/run" && ls -d Out_Pairlab*)
sweep="$work/sweep"
mkdir -p "$sweep/jobs"
printf 'point\tsweep_choice\n' >"$sweep/points.tsv"
for ((p = 0; p < jobs; p++)); do
  printf '%d\t0.%d\n' "$p" "$p" >>"$sweep/points.tsv"
  mkdir -p "$sweep/jobs/p${p}_c0/$output"
  ln "$work/run/$output"/Pairlab_*.tsv "$sweep/jobs/p${p}_c0/$output/"
  echo "$output" >"$sweep/jobs/p${p}_c0/done"
done

PYTHONPATH=${PAIRLAB_TOOLS:-$root/tools} /usr/bin/time -v -o "$work/time" /usr/bin/python3 - "$sweep" "$jobs" <<'PY'
import sys
from pathlib import Path
from pairlab_tools import outcome
sweep, jobs = Path(sys.argv[1]), int(sys.argv[2])
plan = {"jobs": {f"p{p}_c0": {"point": p, "chunk": 0} for p in range(jobs)}}
outcome.merge_complete(sweep, plan, outcome.job_states(sweep, plan))
PY
rows=$(( $(wc -l <"$sweep/pairs.tsv") - 1 ))
size=$(du -m "$sweep/pairs.tsv" | cut -f1)
peak=$(awk -F': ' '/Maximum resident/ {print $2}' "$work/time")
wall=$(awk -F': ' '/Elapsed/ {print $2}' "$work/time")
echo "merge and summary of $jobs jobs: pairs.tsv $rows rows ($size MB), files.tsv $(( $(wc -l <"$sweep/files.tsv") - 1 )) rows"
echo "  peak resident memory $(( peak / 1024 )) MiB (target: below 500 MiB), wall $wall"
