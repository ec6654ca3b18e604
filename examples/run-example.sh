#!/usr/bin/env bash
# Runs the launcher the way a user does: installed under the design's name in the compilation
# directory, with an installation root that holds the Tcl kernel. The kernel here is a stand-in
# that prints the command line and environment it was started with.
# Usage: run-example.sh LAUNCHER STANDIN_KERNEL WORK_DIR [ARGUMENTS...]
set -euo pipefail
launcher=$1 kernel=$2 work=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)

rm -rf "$work"
mkdir -p "$work/install/bin/lin/unwrapped" "$work/install/lib/lin"
cp "$kernel" "$work/install/bin/lin/unwrapped/orsatcl"
cp -R "$here/compilation" "$work/compilation"
cp "$launcher" "$work/compilation/tb_sim"

cd "$work/compilation"
echo "\$ TARVEN=$work/install LD_LIBRARY_PATH=/usr/local/lib ./tb_sim $*"
env -u TARVEN_DSP -u ORSA_STANDIN_RECORD TARVEN="$work/install" LD_LIBRARY_PATH=/usr/local/lib \
  ./tb_sim "$@"
echo
echo "\$ cat orsa.log"
cat orsa.log
