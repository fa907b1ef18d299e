#!/usr/bin/env bash
# Times a sweep of many short runs against its bare simulation time: the overhead of
# pairlab-sweep (the check of every point, the timing, Snakemake, the batches, the merge and the
# summary). The grid is -choice x -tolerance x -N of continuous runs of about 10 ms each
# (-numfiles 100), one job per point.
#
#   bench/sweep_overhead.sh [POINTS] [CORES]    POINTS 400 or 2000 (default), CORES default 2
#
# Prints the sweep's wall time (/usr/bin/time), the bare simulation time (every job's command
# line run one after another, each timed, without pairlab-sweep) and the target of the sweep:
# at most 2 x the bare simulation time + 60 s. PAIRLAB_SWEEP=path times another pairlab-sweep
# (e.g. an earlier version), PAIRLAB_BINARY another program.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
points=${1:-2000}
cores=${2:-2}
binary=${PAIRLAB_BINARY:-$root/build/pairlab}
sweep_tool=${PAIRLAB_SWEEP:-$root/tools/bin/pairlab-sweep}
case $points in
  400) sizes="-N: [500, 600, 700, 800]" ;;
  2000) sizes="-N: [500, 550, 600, 650, 700, 750, 800, 850, 900, 950]" ;;
  *) echo "POINTS: 400 or 2000" >&2; exit 2 ;;
esac
work=$(mktemp -d /tmp/pairlab-sweep-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
choices=$(seq -s ', ' 0.05 0.05 1.0)
[ "$points" = 400 ] && choices=$(seq -s ', ' 0.1 0.1 1.0)
cat >"$work/bench.yaml" <<YAML
base: "-continuous 1 -model -1 -numfiles 100"
grid:
  -choice: [$choices]
  -tolerance: [0.05, 0.06, 0.07, 0.08, 0.09, 0.1, 0.11, 0.12, 0.13, 0.14]
  $sizes
seed: 1
YAML

/usr/bin/time -f "%e %M" -o "$work/time" "$sweep_tool" "$work/bench.yaml" --cores "$cores" \
  --binary "$binary" >"$work/out" 2>&1 || { cat "$work/out"; exit 1; }
read -r wall peak <"$work/time"
PYTHONPATH=$root/tools /usr/bin/python3 - "$work" "$wall" "$peak" "$cores" <<'PY'
import json, os, subprocess, sys, tempfile, time
work, wall, peak, cores = sys.argv[1], float(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
plan = json.load(open(f"{work}/bench/plan.json"))
bare = 0.0
with tempfile.TemporaryDirectory(dir=work) as folder:
    for name, spec in plan["jobs"].items():
        os.mkdir(f"{folder}/{name}")
        start = time.perf_counter()
        subprocess.run([plan["binary"], *spec["args"]], cwd=f"{folder}/{name}", check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        bare += time.perf_counter() - start
jobs = len(plan["jobs"])
batches = len(plan.get("batches", {})) or jobs
target = 2 * bare + 60
print(f"{jobs} jobs in {batches} batches, --cores {cores}")
print(f"  bare simulation time: {bare:.1f} s ({1000 * bare / jobs:.1f} ms a run, one after another)")
print(f"  sweep: {wall:.1f} s wall, {wall / bare:.1f} x the bare simulation time, "
      f"peak memory of pairlab-sweep and its children {peak / 1024:.0f} MiB")
print(f"  target: at most 2 x bare + 60 s = {target:.0f} s: {'met' if wall <= target else 'MISSED'}")
PY
tail -n 1 "$work/out"
