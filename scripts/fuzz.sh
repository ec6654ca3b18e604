#!/usr/bin/env bash
# Builds the libFuzzer target with clang and runs it for SECONDS (default 30) from the seed corpus
# in fuzz/corpus/launch. New inputs go to a scratch corpus, not into the repository; an input that
# crashes is kept as fuzz/crash-* for the black-box table and the seed corpus.
# Usage: scripts/fuzz.sh [SECONDS] [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
build=${2:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build" -DBOOTLOADER_FUZZ=ON -DBOOTLOADER_WERROR=ON >/dev/null
cmake --build "$build" -j2 >/dev/null
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# Absolute paths: the target may change its working directory.
corpus=$PWD/fuzz/corpus/launch log=$scratch/launch_fuzzer.log && mkdir "$scratch/new"
echo "fuzzing launch_fuzzer for ${seconds}s"
status=0
ASAN_OPTIONS=halt_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  "$build/fuzz/launch_fuzzer" -max_total_time="$seconds" -max_len=4096 -rss_limit_mb=4096 \
  -timeout=10 -artifact_prefix="$PWD/fuzz/crash-" -print_final_stats=1 "$scratch/new" "$corpus" \
  >"$log" 2>&1 || status=$?
grep -E '^#[0-9]+\s.*cov:' "$log" | tail -n 1 || true
grep -E '^(Done|stat::peak_rss)' "$log" || true
if [ "$status" -ne 0 ]; then
  tail -n 40 "$log" >&2
  echo "launch_fuzzer failed with status $status" >&2
  exit 1
fi
