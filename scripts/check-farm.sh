#!/usr/bin/env bash
# Runs the Slurm example, examples/slurm/regression.sbatch, on a single-node cluster that
# examples/slurm/single-node-cluster.sh starts under a temporary folder.
# A job array of 40 overlapping launches over the bundled compilation directory, half of them
# sharing orsa.log, and one launch that fails; then a simulator cancelled with scancel. Checks each
# task's kernel arguments, run log and exit code, that the shared log is one task's whole log, and
# that the cancel reaches the simulator. Stops the cluster by its daemons' PIDs. Needs root.
# Usage: scripts/check-farm.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd) here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d) tasks=40 cluster=$here/examples/slurm/single-node-cluster.sh
fail() { echo "FAILED: $*" >&2; exit 1; }
stop() {
  [ ! -d "$work/cluster" ] || bash "$cluster" stop "$work/cluster"
  rm -rf "$work"
}
trap stop EXIT
# within SECONDS COMMAND...: waits until COMMAND succeeds, or fails after SECONDS.
within() { local end=$((SECONDS + $1)); shift; until "$@"; do
  ((SECONDS < end)) || fail "waited in vain for: $*"; sleep .2; done; }

# 64 CPUs, so that every task starts at once.
settings=$(bash "$cluster" start "$work/cluster" 64) && eval "$settings"

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
