#!/usr/bin/env bash
# Runs the scenario test, random launches each checked and then made, for SECONDS (default 1800)
# from SEED (default: the current time), on a native build of its own in build-scenarios/. As root
# it draws launches as nobody too. A failure prints its seed, to be run again with the same SEED.
# Usage: scripts/scenarios.sh [SECONDS] [SEED]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-scenarios >/dev/null
cmake --build build-scenarios -j2 --target bootloader orsatcl >/dev/null
exec bash tests/scenarios.sh build-scenarios/bootloader build-scenarios/orsatcl "${2:-$(date +%s)}" \
  "${1:-1800}s"
