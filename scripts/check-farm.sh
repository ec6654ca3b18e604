#!/usr/bin/env bash
# Runs the Slurm example, examples/slurm/regression.sbatch, on a single-node cluster of its own:
# munged, slurmctld and slurmd with a configuration and a munge key made under a temporary folder.
# A job array of 40 overlapping launches over the bundled compilation directory, half of them
# sharing orsa.log, and one launch that fails; then a simulator cancelled with scancel. Checks each
# task's kernel arguments, run log and exit code, that the shared log is one task's whole log, and
# that the cancel reaches the simulator. Stops what it started, by PID. Needs root.
# Usage: scripts/check-farm.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd) here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d) tasks=40 pids=()
fail() { echo "FAILED: $*" >&2; exit 1; }
stop() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do
    timeout 20 tail --pid="$pid" -f /dev/null || kill -KILL "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap stop EXIT
# within SECONDS COMMAND...: waits until COMMAND succeeds, or fails after SECONDS.
within() { local end=$((SECONDS + $1)); shift; until "$@"; do
  ((SECONDS < end)) || fail "waited in vain for: $*"; sleep .2; done; }

# The cluster: one node of 64 CPUs, so that every task starts at once.
mkdir -p "$work"/{state,spool,log}
head -c 1024 /dev/urandom >"$work/munge.key" && chmod 600 "$work/munge.key"
munged -F -f --socket="$work/munge.socket" --key-file="$work/munge.key" --seed-file="$work/seed" \
  --pid-file="$work/munged.pid" --log-file="$work/log/munged.log" &>"$work/log/munged.out" &
pids+=($!)
node=$(hostname -s)
cat >"$work/slurm.conf" <<CONF
ClusterName=farm
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=16817
SlurmdPort=16818
AuthType=auth/munge
AuthInfo=socket=$work/munge.socket
SlurmUser=root
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/log/slurmctld.log
SlurmdLogFile=$work/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SlurmdParameters=config_overrides
ReturnToService=2
NodeName=$node NodeAddr=127.0.0.1 CPUs=64 State=UNKNOWN
PartitionName=farm Nodes=ALL Default=YES MaxTime=INFINITE State=UP OverSubscribe=YES
CONF
export SLURM_CONF=$work/slurm.conf
within 10 test -S "$work/munge.socket"
slurmctld -D &>"$work/log/slurmctld.out" &
pids+=($!)
slurmd -D &>"$work/log/slurmd.out" &
pids+=($!)
within 30 sh -c 'sinfo -h -o %T 2>/dev/null | grep -qx idle'

# The bundled compilation directory, with the launcher as tb_sim, and two installation roots: one
# whose kernel is the stand-in, which prints how it was started, and one whose kernel waits for a
# signal and says which it got.
cp -R "$here/examples/compilation" "$work/compilation"
cp "$build/bootloader" "$work/compilation/tb_sim"
mkdir -p "$work/root/bin/lin/unwrapped" "$work/waiting/bin/lin/unwrapped"
cp "$build/orsatcl" "$work/root/bin/lin/unwrapped/orsatcl"
printf '%s\n' '#!/bin/sh' "trap 'echo TERM >cancelled; exit 143' TERM" 'echo >started' \
  'while :; do sleep .1; done' >"$work/waiting/bin/lin/unwrapped/orsatcl"
chmod +x "$work/waiting/bin/lin/unwrapped/orsatcl"
cd "$work/compilation"
for i in $(seq "$tasks"); do
  echo "-f run.cmd -wdb w$i$( ((i % 2)) || echo ' -log orsa.log')"
done >tests.txt
echo "-f nothere.cmd" >>tests.txt
unset ORSA_STANDIN_RECORD TARVEN_DSP
job=$(TARVEN=$work/root sbatch --parsable --array=1-$((tasks + 1)) \
  "$here/examples/slurm/regression.sbatch" tests.txt)
within 120 sh -c "[ -z \"\$(squeue -h -j $job 2>/dev/null)\" ]"

for i in $(seq "$tasks"); do
  own="-log results/$i.log -f run.cmd -wdb w$i$( ((i % 2)) || echo ' -log orsa.log')"
  arguments="orsatcl -exe orsa/tb_sim.sim/tb_sim -log results/$i.log -tclbatch run.tcl -view"
  arguments+=" my waves.wcfg -intstyle silent -wdb w$i.wdb$( ((i % 2)) || echo ' -log orsa.log')"
  started=$(sed -n 's/^argv\[[0-9]*\] "\(.*\)"$/\1/p' "results/$i.out" | paste -sd' ')
  [ "$started" = "$arguments" ] ||
    fail "task $i started the kernel otherwise: $(cat "results/$i.out")"
  log=$(printf 'Orsa log file\nRunning: ./tb_sim %s \n.' "$own")
  if ((i % 2)); then
    [ "$(cat "results/$i.log"; echo .)" = "$log" ] ||
      fail "task $i's run log: $(cat "results/$i.log")"
  elif [ "$(cat orsa.log; echo .)" = "$log" ]; then
    shared=$i
  fi
done
[ -n "${shared:-}" ] || fail "orsa.log is no task's whole log: $(od -c orsa.log | head)"
exits=$(scontrol show job "$job" | grep -o 'ExitCode=[0-9:]*' | sort | uniq -c | paste -sd' ')
[ "$(echo $exits)" = "$tasks ExitCode=0:0 1 ExitCode=1:0" ] || fail "exit codes: $exits"
grep -qx 'Command file for -f not found' "results/$((tasks + 1)).out" ||
  fail "the failing task printed: $(cat "results/$((tasks + 1)).out")"

# A cancel reaches the simulator the launcher became.
echo -nolog >cancel.txt
job=$(TARVEN=$work/waiting sbatch --parsable --array=1 "$here/examples/slurm/regression.sbatch" \
  cancel.txt)
within 60 test -e started
scancel "$job"
within 30 test -e cancelled
[ "$(cat cancelled)" = TERM ] || fail "the simulator got $(cat cancelled), not SIGTERM"
echo "farm: $tasks overlapping tasks and a failing one on Slurm, orsa.log whole (task $shared's)," \
  "scancel reached the simulator"
