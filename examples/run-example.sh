#!/usr/bin/env bash
# Runs the launcher the way a user does: installed under the design's name in the compilation
# directory, with an installation root that holds the Tcl kernel and, on PATH, the graphical front
# end. Both are stand-ins that print the command line and environment they were started with.
usage="usage: run-example.sh LAUNCHER STANDIN_KERNEL WORK_DIR [ARGUMENTS...]
  e.g. run-example.sh build/bootloader build/orsatcl /tmp/example -f run.cmd -gui
The front end's stand-in, orsagui, is taken from beside STANDIN_KERNEL."
set -euo pipefail
if (($# < 3)); then
  echo "$usage" >&2
  exit 2
fi
launcher=$(realpath "$1") kernel=$(realpath "$2") work=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)

rm -rf "$work"
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
