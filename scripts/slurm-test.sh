#!/usr/bin/env bash
# The test of pairlab-sweep --slurm on a real SLURM cluster: starts a single-node cluster on
# this machine (scripts/slurm-cluster.sh: munged, slurmctld and slurmd as root, every state file
# under a temporary folder), runs the README's sweep (tools/examples/choice.yaml) locally and
# through SLURM, with USER unset (as in CI and containers) and other batches, and checks that
# both give the same tables (run ids and times aside). The cluster is stopped and the folder
# removed on exit. Needs root; takes under a minute.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
[ "$(id -u)" -eq 0 ] || { echo "$0: the SLURM daemons run as root" >&2; exit 1; }
binary=${PAIRLAB_BINARY:-$root/build/pairlab}
[ -x "$binary" ] || { echo "$0: build the program first ($binary is missing)" >&2; exit 1; }

work=$(mktemp -d /tmp/pairlab-slurm-test.XXXXXX)
chmod 755 "$work"
cleanup() {
  scripts/slurm-cluster.sh stop "$work/cluster" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
start=$(date +%s)
export "$(scripts/slurm-cluster.sh start "$work/cluster" | tail -n 1)"  # SLURM_CONF=...

# The README's sweep, and the same with batches of 5 jobs (7 SLURM jobs).
cp tools/examples/choice.yaml "$work/choice.yaml"
{ cat tools/examples/choice.yaml; echo "batch: 5"; } > "$work/batched.yaml"
sweep() { env -u USER tools/bin/pairlab-sweep "$@" --binary "$binary"; }
sweep "$work/choice.yaml" --out "$work/local" --cores 2 >/dev/null
if ! sweep "$work/batched.yaml" --out "$work/slurm" --slurm; then
  echo "--- the end of snakemake.log ---"; tail -n 40 "$work/slurm/snakemake.log" || true
  exit 1
fi
[ "$(ls "$work"/slurm/batches/*.done | wc -l)" -eq 7 ] || { echo "$0: expected 7 batches" >&2; exit 1; }
PYTHONPATH=$root/tools /usr/bin/python3 -m pairlab_tools.compare "$work/local" "$work/slurm"
echo "SLURM sweep test passed in $(( $(date +%s) - start )) s"
