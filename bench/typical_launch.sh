#!/bin/sh
# The launcher's typical run as a POSIX sh script (command files aside), for comparison.
path=
[ -n "${TARVEN_DSP+set}" ] && path="$TARVEN_DSP/plexor/lib/lin:"
IFS=:
for root in $TARVEN; do
  [ -n "$root" ] || continue
  path="$path$root/lib/lin:"
  [ -z "$kernel" ] && [ -f "$root/bin/lin/unwrapped/orsatcl" ] && kernel=$root/bin/lin/unwrapped/orsatcl
  if [ -z "${TARVEN_DSP+set}" ] && [ -f "$root/plexor/bin/lin/libhwcosim_api.so" ]; then
    TARVEN_DSP=$root && export TARVEN_DSP && path="$path$root/plexor/lib/lin:"
  fi
done
unset IFS
if [ -n "$LD_LIBRARY_PATH" ]; then path="$path$LD_LIBRARY_PATH"; else path=${path%:}; fi
export LD_LIBRARY_PATH="$path"
name=${0##*/}
image=orsa/$name.sim/$name
[ -e "$image" ] || { echo "ERROR: Could not find file \"$image\" needed for running simulation."; exit 1; }
printf 'Orsa log file\nRunning: %s ' "$0" >orsa.log
printf '%s ' "$@" >>orsa.log
echo >>orsa.log
gui= views= user=
while [ $# -gt 0 ]; do
  case $1 in
    -gui) gui=1 ;;
    -view) views="$views -view $2"; shift ;;
    *) user="$user $1" ;;
  esac
  shift
done
export PORT_DYNAMIC_DISABLE_MSG=1
[ -n "$gui" ] && exec orsagui -exe "$image" $views -userOptions "\"${user# }\""
exec "$kernel" -exe "$image" "$@"
