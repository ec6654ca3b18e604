#!/usr/bin/env bash
# Start-up and scaling budgets of the launcher, in instructions counted by callgrind (repeatable,
# whatever else the machine is doing) and peak memory from /usr/bin/time.
#
# Every run is made so that the hand-over fails (no root holds the kernel, no orsagui on PATH):
# the launcher then returns and callgrind can write its count. Beside the launcher the script
# builds a minimal C program that sets one variable and calls execv, the floor for any launcher.
# Usage: bench/startup.sh LAUNCHER
set -euo pipefail
launcher=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
here=$(cd "$(dirname "$0")" && pwd)
valgrind=$(command -v valgrind)
time=/usr/bin/time

cc -O2 -o "$work/minimal" "$here/minimal_exec.c"
mkdir -p "$work/design/orsa/tb_sim.sim" "$work/empty-path"
touch "$work/design/orsa/tb_sim.sim/tb_sim"
cp "$launcher" "$work/design/tb_sim"
for i in $(seq 1 20); do echo "-view wave$i.wcfg -x$i \"value $i\""; done >"$work/design/run.cmd"
python3 - "$work/design/big.cmd" <<'PY'
import sys
# 100,000 arguments of 9 characters, each followed by a space or a newline: 1 MB.
with open(sys.argv[1], "w") as out:
    for line in range(10000):
        out.write(" ".join("a%08d" % (line * 10 + i) for i in range(10)) + "\n")
PY
bigBytes=$(stat -c %s "$work/design/big.cmd")

# Runs COMMAND... in the design directory with only PATH and TARVEN set; the hand-over fails, so
# the status is 1 by design and not checked.
inDesign() {
  (cd "$work/design" && env -i PATH="$work/empty-path" TARVEN="$work/no-root" "$@" 2>&1 >/dev/null) ||
    true
}
# instructions COMMAND...: the total callgrind counts for one run.
instructions() {
  inDesign "$valgrind" --tool=callgrind --callgrind-out-file="$work/callgrind.out" "$@" |
    sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}
peakKilobytes() {
  inDesign "$time" -f %M "$@" | tail -n 1
}

floor=$(instructions "$work/minimal")
plain=$(instructions ./tb_sim)
typical=$(instructions ./tb_sim -f run.cmd -gui -view a.wcfg -x 1)
big=$(instructions ./tb_sim -f big.cmd)
bigPeak=$(peakKilobytes ./tb_sim -f big.cmd)

failures=0
verdict() {  # verdict CONDITION: sets $result to pass or FAIL and counts failures
  if (("$1")); then result=pass; else result=FAIL; failures=$((failures + 1)); fi
}
ratio() { bc -l <<<"$1 / $2"; }
printf '%-44s %12s  %s\n' "run" "instructions" "budget"
printf '%-44s %12d  %s\n' "minimal C program (setenv + execv)" "$floor" "the floor"
verdict "plain <= floor"
printf '%-44s %12d  %.2fx of the floor, at most 1.00: %s\n' "./tb_sim" "$plain" \
  "$(ratio "$plain" "$floor")" "$result"
verdict "typical <= floor"
printf '%-44s %12d  %.2fx of the floor, at most 1.00: %s\n' \
  "./tb_sim -f run.cmd -gui -view a.wcfg -x 1" "$typical" "$(ratio "$typical" "$floor")" "$result"
verdict "big <= 40 * bigBytes"
printf '%-44s %12d  %.1f per byte of %d, at most 40: %s\n' \
  "./tb_sim -f big.cmd (100,000 arguments)" "$big" "$(ratio "$big" "$bigBytes")" "$bigBytes" \
  "$result"
verdict "bigPeak < 32768"
printf '%-44s %12s  %d KiB, under 32768: %s\n' "./tb_sim -f big.cmd peak memory" "" "$bigPeak" \
  "$result"
exit $((failures > 0))
