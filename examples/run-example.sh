#!/usr/bin/env bash
# Runs the launcher the way a user does: installed under the design's name in the compilation
# directory, with an installation root that holds the Tcl kernel and, on PATH, the graphical front
# end. Both are stand-ins that print the command line and environment they were started with.
usage="usage: run-example.sh LAUNCHER STANDIN_KERNEL WORK_DIR [ARGUMENTS...]
  e.g. run-example.sh build/bootloader build/orsatcl /tmp/example -f run.cmd -gui
The front end's stand-in, orsagui, is taken from beside STANDIN_KERNEL. WORK_DIR receives a
copy of the example compilation directory and an installation root, and is marked as the
example's: a WORK_DIR marked so is emptied and filled again; any other must be absent or empty
and is never deleted."
set -euo pipefail
if (($# < 3)); then
  echo "$usage" >&2
  exit 2
fi
launcher=$(realpath "$1") kernel=$(realpath "$2") work=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)

# Only what this script made is ever deleted: a mistyped WORK_DIR must not cost a user's files.
marker=.made-by-run-example
if [ -f "$work/$marker" ]; then
  find "$work/" -mindepth 1 -maxdepth 1 -exec rm -rf -- {} +
elif [ -e "$work" ] && { [ ! -d "$work" ] || [ -n "$(ls -A "$work")" ]; }; then
  echo "run-example.sh: $work is not an empty folder, nor one run-example.sh made;" \
    "it is left alone: name an absent or empty folder" >&2
  exit 1
fi
mkdir -p "$work"
work=$(cd "$work" && pwd)  # TARVEN and PATH must hold from inside the compilation directory
echo "Made by examples/run-example.sh, which empties this folder on each run." >"$work/$marker"
mkdir -p "$work/install/bin/lin/unwrapped" "$work/install/lib/lin" "$work/bin"
cp "$kernel" "$work/install/bin/lin/unwrapped/orsatcl"
[ ! -e "${kernel%/*}/orsagui" ] || cp "${kernel%/*}/orsagui" "$work/bin/orsagui"
cp -R "$here/compilation" "$work/compilation"
cp "$launcher" "$work/compilation/tb_sim"

cd "$work/compilation"
echo "\$ TARVEN=$work/install LD_LIBRARY_PATH=/usr/local/lib PATH=$work/bin:\$PATH ./tb_sim $*"
env -u TARVEN_DSP -u ORSA_STANDIN_RECORD TARVEN="$work/install" LD_LIBRARY_PATH=/usr/local/lib \
  PATH="$work/bin:$PATH" ./tb_sim "$@"
echo
echo "\$ cat orsa.log"
cat orsa.log
