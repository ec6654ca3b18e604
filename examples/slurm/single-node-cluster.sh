#!/usr/bin/env bash
# Starts and stops a Slurm cluster of one node, this machine, to try regression.sbatch on: munged,
# slurmctld and slurmd, with a munge key, a configuration, their state and their logs all in a
# folder of its own, on ports 16817 and 16818 so that it keeps clear of a real cluster's. The
# daemons run as root, so it needs root.
set -euo pipefail
usage="usage: single-node-cluster.sh start DIR [CPUS]   (as root)
       single-node-cluster.sh stop DIR
start makes DIR if needed and starts the daemons with everything they write under it: the node
offers CPUS processors (default: this machine's), that many tasks at once. Then it prints the
line that points Slurm's commands at the cluster, for your shell:
  export SLURM_CONF=DIR/slurm.conf
stop ends the daemons this script started in DIR, by the PIDs they wrote there, and leaves DIR
(the logs are in DIR/log)."
die() { echo "single-node-cluster.sh: $*" >&2; exit 1; }
(($# >= 2)) && [[ $1 == start || $1 == stop ]] || { echo "$usage" >&2; exit 2; }
action=$1 dir=$2 cpus=${3:-$(nproc)}
daemons=(slurmd slurmctld munged)  # in the order they stop

# ours NAME: prints the PID of daemon NAME running for DIR. A PID file outlives its daemon, and the
# number may since have gone to another program: the process must also be named NAME and have been
# started with DIR's configuration or PID file.
ours() {
  local pid arguments
  pid=$(cat "$dir/$1.pid" 2>/dev/null) && [[ $pid =~ ^[0-9]+$ ]] || return 1
  [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = "$1" ] || return 1
  arguments=$(tr '\0' '\n' <"/proc/$pid/cmdline") || return 1
  grep -qxF -e "$dir/slurm.conf" -e "--pid-file=$dir/$1.pid" <<<"$arguments" || return 1
  echo "$pid"
}

# stop: ends each daemon, given 20 seconds before it is killed; fails when one is left running.
stop() {
  local name pid left=
  for name in "${daemons[@]}"; do
    pid=$(ours "$name") || continue
    if kill "$pid"; then
      timeout 20 tail --pid="$pid" -f /dev/null || kill -KILL "$pid" || true
    fi
    ! ours "$name" >/dev/null || left+=" $name ($pid)"
  done
  [ -z "$left" ] || die "still running:$left"
}

# within SECONDS COMMAND...: waits until COMMAND succeeds; fails after SECONDS.
within() {
  local end=$((SECONDS + $1))
  shift
  until "$@" &>/dev/null; do
    ((SECONDS < end)) || return 1
    sleep .2
  done
}

if [ "$action" = stop ]; then
  [ -d "$dir" ] || die "no folder $dir"
  dir=$(cd "$dir" && pwd)
  stop
  exit 0
fi

[ "$(id -u)" -eq 0 ] || die "needs root: munged, slurmctld and slurmd run as root"
[[ $cpus =~ ^[1-9][0-9]*$ ]] || die "CPUS must be a positive number, not $cpus"
[[ $dir != *[[:space:]]* ]] || die "Slurm's configuration cannot name a folder with spaces: $dir"
mkdir -p "$dir"/{state,spool,log}
dir=$(cd "$dir" && pwd)
for name in "${daemons[@]}"; do
  ! ours "$name" >/dev/null || die "$name is running in $dir already; stop it first"
done
if [ ! -e "$dir/munge.key" ]; then
  (umask 077 && head -c 1024 /dev/urandom >"$dir/munge.key")
fi
node=$(hostname -s)
cat >"$dir/slurm.conf" <<CONF
ClusterName=single
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=16817
SlurmdPort=16818
AuthType=auth/munge
AuthInfo=socket=$dir/munge.socket
SlurmUser=root
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/log/slurmctld.log
SlurmdLogFile=$dir/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SlurmdParameters=config_overrides
ReturnToService=2
NodeName=$node NodeAddr=127.0.0.1 CPUs=$cpus State=UNKNOWN
PartitionName=single Nodes=ALL Default=YES MaxTime=INFINITE State=UP OverSubscribe=YES
CONF

# Each daemon goes to the background by itself and writes its PID file. Their standard streams
# must not stay open on this script's: a caller reading its output, as in $(...), would wait for
# the daemons to end.
failed() {
  stop
  die "the cluster did not come up; its logs are in $dir/log"
}
munged -f --socket="$dir/munge.socket" --key-file="$dir/munge.key" --seed-file="$dir/seed" \
  --pid-file="$dir/munged.pid" --log-file="$dir/log/munged.log" \
  </dev/null &>"$dir/log/munged.out" || failed
within 10 test -S "$dir/munge.socket" || failed
slurmctld -f "$dir/slurm.conf" </dev/null &>"$dir/log/slurmctld.out" || failed
slurmd -f "$dir/slurm.conf" </dev/null &>"$dir/log/slurmd.out" || failed
export SLURM_CONF=$dir/slurm.conf
within 30 sh -c 'sinfo -h -o %T | grep -qx idle' || failed
printf 'export SLURM_CONF=%q\n' "$SLURM_CONF"
