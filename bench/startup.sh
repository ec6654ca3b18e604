#!/usr/bin/env bash
# Start-up of the launcher against programs that do the same work, two ways:
#  - instructions, counted by callgrind (repeatable whatever else the machine does), in runs whose
#    hand-over fails so that callgrind can write its count, and peak memory from /usr/bin/time;
#  - wall-clock time, every program starting the same static do-nothing child, interleaved round by
#    round, which also shows page faults, the exec and the address-space teardown.
# Prints each budget as pass or FAIL, and exits with 1 on a FAIL.
# Usage: bench/startup.sh LAUNCHER [ROUNDS]
set -euo pipefail
launcher=$(realpath "$1") rounds=${2:-1500}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
here=$(cd "$(dirname "$0")" && pwd) valgrind=$(command -v valgrind)

built=$work/built
mkdir "$built"
cc -O2 -static -o "$work/child" "$here/do_nothing.c"
cc -O2 -o "$built/exec-dynamic" "$here/minimal_exec.c"
cc -O2 -static -o "$built/exec-static" "$here/minimal_exec.c"
cc -O2 -o "$built/c-dynamic" "$here/typical_launch.c"
cc -O2 -static -o "$built/c-static" "$here/typical_launch.c"
cc -O2 -o "$built/interleave" "$here/interleave.c"
# An installation root and a PATH whose kernel and front end are the do-nothing child.
mkdir -p "$work/root/bin/lin/unwrapped" "$work/root/lib/lin" "$work/bin" "$work/empty"
cp "$work/child" "$work/root/bin/lin/unwrapped/orsatcl"
cp "$work/child" "$work/bin/orsagui"
# One compilation directory a program, each holding its program as tb_sim.
for i in $(seq 1 20); do echo "-view wave$i.wcfg -x$i \"value $i\""; done >"$work/run.cmd"
typical=(-f run.cmd -gui -view a.wcfg -x 1)
expanded=($(for i in $(seq 1 20); do echo "-view wave$i.wcfg -x$i value_$i"; done) "${typical[@]:2}")
for program in launcher:"$launcher" c-static:"$built/c-static" c-dynamic:"$built/c-dynamic" \
  sh:"$here/typical_launch.sh"; do
  mkdir -p "$work/${program%%:*}/orsa/tb_sim.sim"
  touch "$work/${program%%:*}/orsa/tb_sim.sim/tb_sim"
  cp "${program#*:}" "$work/${program%%:*}/tb_sim" && chmod +x "$work/${program%%:*}/tb_sim"
  cp "$work/run.cmd" "$work/${program%%:*}/"
done
python3 - "$work/launcher/big.cmd" <<'PY'
import sys
# 100,000 arguments of 9 characters, each followed by a space or a newline: 1 MB.
with open(sys.argv[1], "w") as out:
    for line in range(10000):
        out.write(" ".join("a%08d" % (line * 10 + i) for i in range(10)) + "\n")
PY
python3 - "$work/launcher/spaces.cmd" <<'PY'
import resource, sys
# Arguments within 20 KB of the kernel's limit, then 16 MiB of spaces on the same line: every chunk
# read takes the line past the limit, and only its new spaces may be looked at again.
stack = resource.getrlimit(resource.RLIMIT_STACK)[0]
limit = max(min(stack // 4 if stack >= 0 else 6 << 20, 6 << 20), 128 << 10)
used, arguments = 17, []
while used + 130009 < limit - 20000:
    arguments.append("y" * 130000)
    used += 130009
with open(sys.argv[1], "w") as out:
    out.write(" ".join(arguments) + " " * (16 << 20) + " x\n")
PY
bigBytes=$(stat -c %s "$work/launcher/big.cmd") spacesBytes=$(stat -c %s "$work/launcher/spaces.cmd")

# instructions DIR COMMAND...: callgrind's total for one run in DIR whose hand-over fails.
instructions() {
  (cd "$1" && shift && env -i PATH="$work/empty" TARVEN="$work/none" "$valgrind" --tool=callgrind \
    --callgrind-out-file="$work/callgrind.out" "$@" 2>&1 >/dev/null || true) |
    sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}
execDynamic=$(instructions "$work" "$built/exec-dynamic")
execStatic=$(instructions "$work" "$built/exec-static")
plain=$(instructions "$work/launcher" ./tb_sim)
launcherTypical=$(instructions "$work/launcher" ./tb_sim "${typical[@]}")
cTypical=$(instructions "$work/c-static" ./tb_sim "${typical[@]}")
big=$(instructions "$work/launcher" ./tb_sim -f big.cmd)
spaces=$(instructions "$work/launcher" ./tb_sim -f spaces.cmd)
bigPeak=$( (cd "$work/launcher" && env -i PATH="$work/empty" /usr/bin/time -f %M ./tb_sim -f big.cmd \
  2>&1 >/dev/null || true) | tail -n 1)

failures=0
verdict() {  # verdict CONDITION: sets $result to pass or FAIL and counts failures
  if (("$1")); then result=pass; else result=FAIL; failures=$((failures + 1)); fi
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { print a / b }'; }
printf '%-46s %12s  %s\n' "instructions" "count" "budget"
printf '%-46s %12d\n' "C: setenv + execv, dynamically linked" "$execDynamic"
printf '%-46s %12d\n' "C: setenv + execv, statically linked" "$execStatic"
printf '%-46s %12d\n' "C: the typical run, statically linked" "$cTypical"
verdict "plain <= execDynamic"
printf '%-46s %12d  %.2fx the dynamic setenv + execv, at most 1.00: %s\n' "launcher: ./tb_sim" \
  "$plain" "$(ratio "$plain" "$execDynamic")" "$result"
verdict "launcherTypical <= cTypical"
printf '%-46s %12d  %.2fx the static C typical run, at most 1.00: %s\n' \
  "launcher: the typical run" "$launcherTypical" "$(ratio "$launcherTypical" "$cTypical")" "$result"
verdict "big <= 40 * bigBytes"
printf '%-46s %12d  %.1f per byte of %d, at most 40: %s\n' "launcher: -f big.cmd (100,000 args)" \
  "$big" "$(ratio "$big" "$bigBytes")" "$bigBytes" "$result"
verdict "spaces <= 40 * spacesBytes && spaces >= spacesBytes"
printf '%-46s %12d  %.1f per byte of %d, at most 40: %s\n' "launcher: -f spaces.cmd (at the limit)" \
  "$spaces" "$(ratio "$spaces" "$spacesBytes")" "$spacesBytes" "$result"
verdict "bigPeak < 32768"
printf '%-46s %12s  %d KiB, under 32768: %s\n' "launcher: -f big.cmd, peak memory" "" "$bigPeak" \
  "$result"

echo
echo "wall clock, $rounds rounds interleaved, median and ratio to the child alone:"
env -i PATH="$work/bin" TARVEN="$work/root" "$built/interleave" "$rounds" \
  "do-nothing child alone" "$work" "$work/child" -- \
  "C: execv only, statically linked" "$work" "$built/exec-static" "$work/child" -- \
  "launcher: the typical run" "$work/launcher" ./tb_sim "${typical[@]}" -- \
  "C: the typical run, statically linked" "$work/c-static" ./tb_sim "${typical[@]}" -- \
  "C: the typical run, dynamically linked" "$work/c-dynamic" ./tb_sim "${typical[@]}" -- \
  "sh: the typical run, command file expanded" "$work/sh" ./tb_sim "${expanded[@]}" |
  tee "$work/wall"
launcherWall=$(awk -F'  +' '/^launcher: the typical run/ { print $2 + 0 }' "$work/wall")
cWall=$(awk -F'  +' '/^C: the typical run, statically/ { print $2 + 0 }' "$work/wall")
verdict "$(awk -v a="$launcherWall" -v b="$cWall" 'BEGIN { print a <= b }')"
printf 'launcher against the static C typical run: %.2fx, at most 1.00: %s\n' \
  "$(ratio "$launcherWall" "$cWall")" "$result"
exit $((failures > 0))
