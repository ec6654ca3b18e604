#!/usr/bin/env bash
# Random launches, drawn from seeds, each checked (BOOTLOADER_CHECK) and then made, as root or as
# nobody: roots and their kernels, TARVEN, TARVEN_DSP, LD_LIBRARY_PATH, PATH and front ends, design
# images, command files, options and run logs of many kinds. Each holds the check to the launch:
# the check changes no file and starts nothing; it ends 0 exactly when the launch then starts the
# simulator, unless it names what it cannot know (only of a FIFO or device as log, a program of 32
# bits, one it may not read), else 1 with the launch's standard output and reason line; its exec
# line, pasted into bash, starts the same program with the same argv and variables and leaves the
# shell running; standard error holds no raw control byte. A failure prints its seed and scenario.
# Usage: scenarios.sh LAUNCHER STAND_IN FIRST_SEED COUNT (or a number of seconds and "s")
# BOOTLOADER_UNDER_TEST and BOOTLOADER_RUNNER as for the table; KEEP=1 keeps a failure's folder.
set -uo pipefail
launcher=$(realpath "${BOOTLOADER_UNDER_TEST:-$1}") standin=$(realpath "$2") seed=$3 count=$4
runner=${BOOTLOADER_RUNNER:+$(command -v "$BOOTLOADER_RUNNER")} failures=0
pick() { REPLY=${@:RANDOM%$#+1:1}; }
given() { [ "$REPLY" = - ] || variables+=("$REPLY"); }
say() { said+="  $*"$'\n'; }

# program PATH KIND: a kernel or front end of one kind; the scripts end in the stand-in.
program() {
  local p=$1 s=$top/standin
  mkdir -p "${p%/*}"
  case $2 in
    elf | denied | hidden) cp "$s" "$p" ;;
    shell) printf '#!/bin/sh\nexec %s "$@"\n' "$s" >"$p" ;;
    direct) printf '#!%s\n' "$s" >"$p" ;;
    argument) printf '#! %s  one  arg \t\n' "$s" >"$p" ;;
    chain | overlong) printf '#!%s/deep%d\n' "$top" "$([ "$2" = chain ] && echo 3 || echo 4)" >"$p" ;;
    missing) printf '#!/no/such/sh\n' >"$p" ;;
    unnamed) printf '#!\0/x\n' >"$p" ;;
    foreign) cp "$s" "$p" && printf '\x28' | dd of="$p" bs=1 seek=18 conv=notrunc ;;
    i386) printf '\x7fELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0' >"$p" ;;
    folder) printf '#!/tmp\n' >"$p" ;;
    crlf) printf '#!/bin/sh\r\nexec %s "$@"\n' "$s" >"$p" ;;
    long) printf '#!/%0300d\n' 0 >"$p" ;;
    # No line end in the 256 bytes the kernel reads: a name that ends on the last, or "/" and spaces.
    filled) printf '#!%s%s x\n' "$(printf "%$((253 - ${#s}))s" | tr ' ' /)" "$s" >"$p" ;;
    slash) printf '#!/%253s' '' >"$p" ;;
    text) printf 'exec %s "$@"\n' "$s" >"$p" ;;
    empty) : >"$p" ;;
    dir) mkdir "$p" ;;
    fifo) mkfifo "$p" ;;
    loop) ln -s "${p##*/}" "$p" ;;
  esac
  case $2 in denied) chmod 644 "$p" ;; hidden) chmod 111 "$p" ;; *) chmod 755 "$p" ;; esac
}
# Under the emulator, a launcher of 32 bits cannot tell that the kernel it hands over to may not
# run a program of 32 bits: the emulator runs the launcher, not the kernel.
kinds=(elf elf elf elf elf shell shell direct argument chain text overlong missing folder crlf long
  filled slash empty denied hidden dir fifo loop none unnamed foreign $([ -n "$runner" ] || echo i386))

# log KIND: makes the run log of that kind, as orsa.log where it may, and names it in REPLY.
log() {
  local n=orsa.log
  case $1 in
    absent) ;;
    old | readonly) printf 'Orsa log file\nolder\n' >$n && [ "$1" = old ] || chmod 444 $n ;;
    dir) n=sub/$n && mkdir $n ;;
    fifo) mkfifo $n ;;
    closed) mknod -m 600 $n c 1 3 ;;
    socket) perl -MSocket -e 'socket(S, PF_UNIX, SOCK_STREAM, 0); bind(S, sockaddr_un($ARGV[0]))' $n ;;
    link) echo older >t.log && ln -s t.log $n ;;
    dangling) ln -s sub/t.log $n ;;
    lost) ln -s nosuch/t.log $n ;;
    loop) ln -s $n $n ;;
    append | immutable) : >$n && chattr "+${1:0:1}" $n ;;
    sticky) mkdir -m 1777 st && n=st/x && : >$n && chown nobody $n ;;
    device | grouped) mkdir -m "$([ "$1" = device ] && echo 1777 || echo 1770)" st && n=st/x &&
      mknod $n c 1 3 && chown nobody $n ;;
    links) mkdir l0 && for i in {1..21}; do ln -s l$((i - 1)) l$i && ln -s y$((i - 1)) l0/y$i; done &&
      n=l21/y20 ;;
    *) n=$1 ;;
  esac
  REPLY=$n
}
logs=(absent absent absent absent absent old old readonly dir fifo socket link dangling lost loop append immutable sticky
  device grouped closed links /dev/null /dev/full /dev/tty /dev/stdout sl/x.log nosuch/x.log afile/x.log '' new/ afile/ sub/
  sub/new.log "$(printf '%0300d' 0)" "nosuch/$(printf %04089d 0)")
# What a launch takes, and, now and then, one of what stops it before the hand-over.
options=(-gui -gui -gui '-tclbatch run.tcl' '-view v.wcfg' '-open o' '-wdb w' -wdb '-intstyle ko'
  -disabletimeout '-x 1' --gui '-veiw x' -log=x $'\x01\xc2' -nolog '-f c1' '-f c2' -y)
stops=('-intstyle Silent' '-tclbatch nothere.tcl' -view '-f nothere' '-f cdir' '-f c3' '-f c4')
lines=('-gui' '-view "my waves.wcfg"' '# comment' '  -tclbatch run.tcl' '"a b"c ""' $'-y\r' -nolog
  '-log c.log' '-wdb w' '-tclbach run.tcl' '-f x' '' '-z')

# Everything under $top but the outputs: kinds, modes, owners, sizes, times, links and bytes.
snapshot() {
  find "$top" -path "$top/out" -prune -o -printf '%P %y %m %U %s %T@ %C@ %l\n' | LC_ALL=C sort
  find "$top" -path "$top/out" -prune -o -type f -exec md5sum {} + | LC_ALL=C sort
}
# launch NAME VARIABLE... -- ARGUMENT...: the launcher, as the scenario's user, in its folder.
launch() {
  local name=$1 variables=()
  shift
  while [ "$1" != -- ]; do variables+=("$1") && shift; done
  shift
  (cd "$top/work" && exec timeout 20 "${user[@]}" env -i "${variables[@]}" \
    ORSA_STANDIN_RECORD="$top/out/$name.record" ${runner:+"$runner" -0 ./tb_sim} ./tb_sim "$@" \
    >"$top/out/$name.out" 2>"$top/out/$name.err")
  echo $? >"$top/out/$name.status"
}
fail() { echo "FAILED, seed $seed: $*"$'\n'"$said" && failures=$((failures + 1)) && kept=${KEEP:-}; }

build() {
  chmod 755 "$top" && mkdir -m 777 "$top/out" && cd "$top" && cp "$standin" standin &&
    cp "$launcher" launcher && mkdir -p work/orsa/tb_sim.sim work/sub work/cdir || return
  for i in 0 1 2 3 4; do
    printf '#!%s\n' "$top/$([ $i = 0 ] && echo standin || echo deep$((i - 1)))" >deep$i
    chmod 755 deep$i
  done
  cd work && ln -s ../launcher tb_sim && ln -s sub sl && echo tcl >run.tcl && : >afile
  ((RANDOM % 8)) && REPLY=file || pick dir link dangling none
  say "design image: $REPLY"
  case $REPLY in
    file) echo image >orsa/tb_sim.sim/tb_sim ;;
    dir) mkdir orsa/tb_sim.sim/tb_sim ;;
    link) echo i >image && ln -s ../../image orsa/tb_sim.sim/tb_sim ;;
    dangling) ln -s nowhere orsa/tb_sim.sim/tb_sim ;;
  esac
  local tarven="" path="" i words
  for i in 1 2 3; do
    pick "r$i" "r $i" "-r$i" "$top/a$i" $'r\x01'"$i" && local root=$REPLY
    pick "${kinds[@]}" && say "root $root: kernel $REPLY" && program "$root/bin/lin/unwrapped/orsatcl" "$REPLY"
    ((RANDOM % 3)) || { mkdir -p "$root/plexor/bin/lin" && : >"$root/plexor/bin/lin/libhwcosim_api.so"; }
    pick "$root:" "$root:" "$root:" "" ":" && tarven+=$REPLY
    pick "${kinds[@]}" && say "front end $i: $REPLY" && program "$top/p$i/orsagui" "$REPLY"
    pick "$top/p$i:" "$top/p$i:" "" ":" "/nosuch:" "$top/work/afile:" "/$(printf %04200d 0):" \
      "/$(printf %04090d 0):" &&
      path+=$REPLY
  done
  pick "TARVEN=$tarven" "TARVEN=$tarven" "TARVEN=$tarven" "TARVEN=$tarven" TARVEN= - && given
  pick - - TARVEN_DSP=/x "TARVEN_DSP=$top/a1" && given
  pick - LD_LIBRARY_PATH= LD_LIBRARY_PATH=/u && given
  pick "PATH=$path" "PATH=${path%:}" - && given
  for i in 1 2; do pick "${lines[@]}" && echo "$REPLY" >c$i && pick "${lines[@]}" && echo "$REPLY" >>c$i; done
  printf 'ok\nab"c"\n' >c3 && printf -- '-x\n"unclosed\n' >c4
  for i in 1 2 3; do pick "${options[@]}" && read -ra words <<<"$REPLY" && arguments+=("${words[@]}"); done
  ((RANDOM % 8)) || { pick "${stops[@]}" && read -ra words <<<"$REPLY" && arguments+=("${words[@]}"); }
  pick "${logs[@]}" && say "run log: ${REPLY:0:20}" && logKind=$REPLY && log "$REPLY"
  [ "$REPLY" = orsa.log ] && ((RANDOM % 2)) || arguments+=(-log "$REPLY")
  ((RANDOM % 2)) || chmod 777 . sub
  user=() && pick root nobody && [ "$REPLY" = root ] ||
    user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  say "as ${REPLY}; variables: ${variables[*]//0000000000/}"$'\n'"  arguments: ${arguments[*]}"
}

scenario() {
  RANDOM=$seed said="" top=$(mktemp -d /tmp/scenario-XXXXXX) variables=() arguments=()
  build 2>/dev/null
  local before out=$top/out checked made line
  before=$(snapshot)
  launch check BOOTLOADER_CHECK=1 "${variables[@]}" -- "${arguments[@]}"
  [ "$(snapshot)" = "$before" ] || fail "the check changed files"
  [ ! -e "$out/check.record" ] || fail "the check started $(head -c 200 "$out/check.record")"
  launch made "${variables[@]}" -- "${arguments[@]}"
  # The launch failed when it ended 1 after a line of its own; a program it started ends as it will.
  read -r checked <"$out/check.status" && made=0
  [ "$(cat "$out/made.status")" = 1 ] && tail -n 1 "$out/made.err" | grep -q '^tb_sim: ' && made=1
  if { grep -q '^tb_sim: cannot know whether run log' "$out/check.err" &&
    [[ $logKind != @(fifo|closed|device|grouped|/dev/*) ]]; } ||
    { grep -q '^tb_sim: cannot know whether .* starts: ' "$out/check.err" &&
      [[ $said != *" "@(i386|hidden)$'\n'* ]]; }; then
    fail "the check says it cannot know what it can: $(grep -m 1 ' cannot know ' "$out/check.err")"
  elif grep -q '^tb_sim: cannot know ' "$out/check.err"; then
    :
  elif [ "$checked" = 0 ] && [ "$made" != 0 ]; then
    fail "the check ended 0, the launch failed: $(tail -n 1 "$out/made.err")"
  elif [ "$checked" != 0 ] && { [ "$made" = 0 ] || ! cmp -s "$out/check.out" "$out/made.out" ||
    [ "$(tail -n 1 "$out/check.err")" != "$(tail -n 1 "$out/made.err")" ]; }; then
    fail "the check ended $checked, the launch ${made/0/started}:"$'\n'"$(tail -n 1 "$out"/{check,made}.err)"
  fi
  line=$(sed -n 's/^tb_sim: \((export .*\)$/\1/p' "$out/check.err")
  if [ "$checked$made" = 00 ] && [ -n "$line" ]; then
    (cd "$top/work" && timeout 20 "${user[@]}" env -i ORSA_STANDIN_RECORD="$out/paste.record" \
      bash -c "$line"$'\necho alive' >"$out/paste.out" 2>&1)
    grep -qx alive "$out/paste.out" || fail "the pasted exec line ended the shell: $line"
    [ "$(cat "$out/made.record" 2>/dev/null)" = "$(cat "$out/paste.record" 2>/dev/null)" ] ||
      fail "the pasted exec line started otherwise: $line"
  fi
  # What the launcher alone wrote: a program it started writes what it will.
  perl -ne 'exit 1 if /[\x00-\x09\x0b-\x1f\x7f]|\xc2[\x80-\x9f]/' "$out/check.err" \
    "$out/$([ "$made" = 1 ] && echo made || echo check).err" || fail "a raw control byte on standard error"
}

start=$SECONDS launches=0
while if [[ $count == *s ]]; then ((SECONDS - start < ${count%s})); else ((launches < count)); fi; do
  kept="" && scenario
  cd / && [ -n "$kept" ] && echo "kept: $top" || { chattr -R -ai "$top" 2>/dev/null; rm -rf "$top"; }
  seed=$((seed + 1)) launches=$((launches + 1))
done
echo "scenarios: $launches launches, $failures failed"
((failures == 0))
