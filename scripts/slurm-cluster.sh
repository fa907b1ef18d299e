#!/usr/bin/env bash
# A single-node SLURM cluster on this machine, for the tests of pairlab-sweep --slurm: munged,
# slurmctld and slurmd as root, every state file under one folder, no accounting.
#
#   scripts/slurm-cluster.sh start DIR   installs slurm-wlm and munge when missing, writes
#                                        DIR/slurm.conf and starts the daemons; prints the line
#                                        to export (SLURM_CONF=DIR/slurm.conf)
#   scripts/slurm-cluster.sh stop DIR    stops the daemons started with DIR
set -euo pipefail
cd "$(dirname "$0")/.."
action=${1:-}
dir=${2:-}
[ -n "$action" ] && [ -n "$dir" ] || { echo "usage: $0 start|stop DIR" >&2; exit 2; }
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

stop() {
  for daemon in slurmd slurmctld; do
    [ -f "$dir/$daemon.pid" ] && kill "$(cat "$dir/$daemon.pid")" 2>/dev/null || true
  done
  [ -f "$dir/munged.pid" ] && kill "$(cat "$dir/munged.pid")" 2>/dev/null || true
  rm -f "$dir"/*.pid
}

if [ "$action" = stop ]; then
  stop
  exit 0
fi
[ "$action" = start ] || { echo "usage: $0 start|stop DIR" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "$0: the daemons run as root" >&2; exit 1; }
scripts/install-deps.sh slurm-wlm munge

host=$(hostname -s)
cpus=$(nproc)
memory=$(( $(awk '/MemTotal/ {print $2}' /proc/meminfo) / 1024 * 3 / 4 ))
mkdir -p "$dir/state" "$dir/spool" "$dir/log" "$dir/munge" "$dir/socket"
chown munge:munge "$dir/munge" "$dir/socket"
chmod 700 "$dir/munge"
chmod 755 "$dir/socket"  # every client reaches the socket

# munged: its own key, socket and files under DIR, so that a system munged is left alone.
if [ ! -f "$dir/munge/munge.key" ]; then
  dd if=/dev/urandom of="$dir/munge/munge.key" bs=1 count=1024 status=none
  chown munge:munge "$dir/munge/munge.key"
  chmod 400 "$dir/munge/munge.key"
fi
socket="$dir/socket/munge.socket"
runuser -u munge -- /usr/sbin/munged --key-file="$dir/munge/munge.key" --socket="$socket" \
  --pid-file="$dir/munge/munged.pid" --log-file="$dir/munge/munged.log" \
  --seed-file="$dir/munge/munged.seed"
cp "$dir/munge/munged.pid" "$dir/munged.pid"

cat >"$dir/slurm.conf" <<EOF
ClusterName=pairlab
SlurmctldHost=$host
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$socket
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/log/slurmctld.log
SlurmdLogFile=$dir/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core_Memory
SchedulerType=sched/backfill
SchedulerParameters=sched_interval=1,bf_interval=1
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
JobCompType=jobcomp/none
MpiDefault=none
ReturnToService=2
SlurmctldPort=${PAIRLAB_SLURMCTLD_PORT:-6917}
SlurmdPort=${PAIRLAB_SLURMD_PORT:-6918}
NodeName=$host CPUs=$cpus RealMemory=$memory State=UNKNOWN
PartitionName=pairlab Nodes=ALL Default=YES MaxTime=INFINITE State=UP
EOF

export SLURM_CONF="$dir/slurm.conf"
/usr/sbin/slurmctld -f "$SLURM_CONF"
/usr/sbin/slurmd -f "$SLURM_CONF"
for _ in $(seq 60); do
  if sinfo -h -o %T 2>/dev/null | grep -q idle; then
    echo "SLURM_CONF=$SLURM_CONF"
    exit 0
  fi
  sleep 1
done
echo "$0: the node did not become idle; see $dir/log" >&2
stop
exit 1
