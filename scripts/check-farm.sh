#!/usr/bin/env bash
# Runs the Slurm example, examples/slurm/regression.sbatch. First, without Slurm, how a task reads
# its test list: quoting, comments, and the lines it refuses. Then, on a single-node cluster that
# examples/slurm/single-node-cluster.sh starts under a temporary folder, a job array over the
# bundled compilation directory from a list with comments, blank lines and quoted values: 40
# overlapping launches, half of them sharing orsa.log, one launch that fails and one task past the
# last test; then a simulator cancelled with scancel. Checks each task's kernel arguments, run log
# and exit code, that the shared log is one task's whole log, and that the cancel reaches the
# simulator. Stops the cluster by its daemons' PIDs. Needs root.
# Usage: scripts/check-farm.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd) here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d) tasks=40
regression=$here/examples/slurm/regression.sbatch
cluster=$here/examples/slurm/single-node-cluster.sh
fail() { echo "FAILED: $*" >&2; exit 1; }
stop() {
  [ ! -d "$work/cluster" ] || bash "$cluster" stop "$work/cluster"
  rm -rf "$work"
}
trap stop EXIT
# within SECONDS COMMAND...: waits until COMMAND succeeds, or fails after SECONDS.
within() { local end=$((SECONDS + $1)); shift; until "$@"; do
  ((SECONDS < end)) || fail "waited in vain for: $*"; sleep .2; done; }

# A test list's rules, without Slurm: each row is a line (printf %b escapes), after a comment and a
# blank line, and either what task 1 hands the launcher after its -log, in bash's %q quoting, or
# the lines it prints instead of starting anything. --count must agree: 1, or the same lines.
rules=(
  '-view "my waves.wcfg" -x ""' "-view my\\ waves.wcfg -x ''"
  '   "a"b "" c  "-f" run.cmd  ' "a b '' c -f run.cmd"
  'x #y\tz\r' "x \$'#y\\tz\\r'"
  '\t# not a comment' "\$'\\t#' not a comment"
  '-view "my waves.wcfg' 'Error: Matching closing " was not found
regression.sbatch: test list list, line 3: no closing double quote'
  '-x a"b"' 'Error in parsing -f file
regression.sbatch: test list list, line 3: a double quote inside an argument'
  '-x a\0b' 'Error in parsing -f file
regression.sbatch: test list list, line 3: a NUL byte'
)
mkdir "$work/rules" && cd "$work/rules"
printf '%s\n' '#!/bin/bash' 'printf "%q " "$@"' >tb_sim && chmod +x tb_sim
for ((r = 0; r < ${#rules[@]}; r += 2)); do
  printf '# a comment\n   \n%b' "${rules[r]}" >list  # the last line without a newline
  rm -rf results
  status=0 && SLURM_ARRAY_TASK_ID=1 bash "$regression" list || status=$?
  count=$(bash "$regression" --count list 2>&1) || true
  expected="0/-log results/1.log ${rules[r + 1]} /1"
  [[ ${rules[r + 1]} != Error* ]] || expected="2/${rules[r + 1]}/${rules[r + 1]}"
  [ "$status/$(cat results/1.out)/$count" = "$expected" ] ||
    fail "the list line ${rules[r]} gave status $status: $(cat results/1.out); --count: $count"
done

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
unset ORSA_STANDIN_RECORD TARVEN_DSP

# testOf I: sets "line", test I's line in the list, and "rest", the arguments it gives after
# -f run.cmd -wdb wI: plain; indented with quoted values, one with spaces; an empty argument, a
# quote closing right before the next argument and a tab; a carriage return ending the line, as
# lists written on Windows have. The even tests share orsa.log.
testOf() {
  case $(($1 % 4)) in
    0) line="-f run.cmd -wdb w$1" rest=() ;;
    1) line="   -f run.cmd -wdb \"w$1\" -view \"wave $1.wcfg\"" rest=(-view "wave $1.wcfg") ;;
    2) line="-f run.cmd \"-wdb\" w$1 -x \"\" \"a\"b"$'\t'c rest=(-x "" a $'b\tc') ;;
    3) line="-f run.cmd -wdb w$1 -x y"$'\r' rest=(-x $'y\r') ;;
  esac
  if (($1 % 2 == 0)); then
    line+=" -log orsa.log" rest+=(-log orsa.log)
  fi
}
# argvLines ARGUMENTS...: the lines in which the stand-in kernel shows its arguments.
argvLines() {
  local k=0 a
  for a; do
    a=${a//\\/\\\\} && a=${a//\"/\\\"} && a=${a//$'\t'/\\t} && a=${a//$'\r'/\\r}
    printf 'argv[%d] "%s"\n' $((k++)) "$a"
  done
}
{
  printf '%s\n' '# The regression' ''
  for i in $(seq "$tasks"); do
    ((i % 10)) || printf '%s\n' "# group $i" '' '    ' '  # an indented comment'
    testOf "$i" && printf '%s\n' "$line"
  done
  printf '%s\n' '-f nothere.cmd' '# the end' && printf '  '
} >tests.txt
count=$(bash "$regression" --count tests.txt)
[ "$count" = $((tasks + 1)) ] || fail "--count gives $count tests, not $((tasks + 1))"
job=$(TARVEN=$work/root sbatch --parsable --array=1-$((count + 1)) "$regression" tests.txt)
# Forty-two tasks on a loaded machine of two cores may take minutes to pass through Slurm.
within 300 sh -c "[ -z \"\$(squeue -h -j $job 2>/dev/null)\" ]"

for i in $(seq "$tasks"); do
  testOf "$i"
  own=(-log "results/$i.log" -f run.cmd -wdb "w$i" "${rest[@]}")
  expected=$(argvLines orsatcl -exe orsa/tb_sim.sim/tb_sim -log "results/$i.log" -tclbatch run.tcl \
    -view "my waves.wcfg" -intstyle silent -wdb "w$i.wdb" "${rest[@]}")
  [ "$(grep '^argv\[' "results/$i.out")" = "$expected" ] ||
    fail "task $i started the kernel otherwise: $(cat "results/$i.out")"
  log=$(printf 'Orsa log file\nRunning: ./tb_sim' && printf ' %s' "${own[@]}" && printf ' \n.')
  if ((i % 2)); then
    [ "$(cat "results/$i.log"; echo .)" = "$log" ] ||
      fail "task $i's run log: $(cat "results/$i.log")"
  elif [ "$(cat orsa.log; echo .)" = "$log" ]; then
    shared=$i
  fi
done
[ -n "${shared:-}" ] || fail "orsa.log is no task's whole log: $(od -c orsa.log | head)"
exits=$(scontrol show job "$job" | grep -o 'ExitCode=[0-9:]*' | sort | uniq -c | paste -sd' ')
[ "$(echo $exits)" = "$tasks ExitCode=0:0 1 ExitCode=1:0 1 ExitCode=2:0" ] ||
  fail "exit codes: $exits"
grep -qx 'Command file for -f not found' "results/$count.out" ||
  fail "the failing task printed: $(cat "results/$count.out")"
past="regression.sbatch: task $((count + 1)), but test list tests.txt holds $count tests:"
[ "$(cat "results/$((count + 1)).out")" = "$past nothing started" ] &&
  [ ! -e "results/$((count + 1)).log" ] ||
  fail "the task past the last test printed: $(cat "results/$((count + 1)).out")"

# A cancel reaches the simulator the launcher became.
echo -nolog >cancel.txt
job=$(TARVEN=$work/waiting sbatch --parsable --array=1 "$regression" cancel.txt)
within 120 test -e started
scancel "$job"
within 30 test -e cancelled
[ "$(cat cancelled)" = TERM ] || fail "the simulator got $(cat cancelled), not SIGTERM"
echo "farm: $((${#rules[@]} / 2)) test-list rules; $count tests on Slurm from a list with" \
  "comments, blank lines and quoted values, $tasks overlapping, one failing, one task past the" \
  "last refused; orsa.log whole (task $shared's), scancel reached the simulator"
