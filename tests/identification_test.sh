#!/usr/bin/env bash
# Reads each identification string of LAUNCHER through its dynamic symbol table with binutils,
# without running it: a defined object holding its text and one NUL. The section index is cut
# off first: linkers differ in how many digits it has, and "[ 6]" would shift every column after it.
# Arguments: LAUNCHER VERSION TAG COPYRIGHT
set -euo pipefail
launcher=${BOOTLOADER_UNDER_TEST:-$1}
read -r address offset < <(readelf -SW "$launcher" | sed 's/^ *\[ *[0-9]*\]//' |
  awk '$1 == ".rodata" { print $3, $4 }')
while read -r names text; do
  for name in ${names//,/ }; do
    read -r value size < <(readelf --dyn-syms -W "$launcher" |
      awk -v n="$name" '$NF == n && $4 == "OBJECT" && $7 != "UND" { print $2, $3 }')
    bytes=$(dd if="$launcher" bs=1 skip=$((0x$value - 0x$address + 0x$offset)) count="$size" \
      status=none | od -c)
    [ "$bytes" = "$(printf '%s\0' "$text" | od -c)" ] || { echo "$name differs" >&2; exit 1; }
  done
done <<EOT
trv_SoftwareVersion,Jobs_Simulator_TCLMain_SoftwareVersion $2
trv_VKSTag,Jobs_Simulator_TCLMain_VKSTag $3
Jobs_Simulator_TCLMain_VKSTag_grep VKSTag:$3
Jobs_Simulator_TCLMain_LayerName Jobs
trv_SubsystemName,Jobs_Simulator_TCLMain_SubsystemName Simulator
Jobs_Simulator_TCLMain_SubsystemPackageName TCLMain
trv_Copyright $4
EOT
