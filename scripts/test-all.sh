#!/usr/bin/env bash
# Builds and tests every form of the launcher: native (warnings as errors), its packages and their
# life cycle, a regression farm on a single-node Slurm cluster, with AddressSanitizer and UBSan
# (errors fatal), for i386 (its black-box suite run through qemu-i386), and runs each fuzz target
# for FUZZ_SECONDS (default 30). Installs missing Debian packages first when root. Its build
# folders are its own, under build-all/, so that it can run beside a build in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-packages.sh
jobs=$(nproc)
out=build-all
memory_row=/SaysWhenMemoryRunsOut
passed=0
trap 'echo "stages: $passed passed, 1 failed"' ERR
stage() { echo "== $1"; }

stage formatting
git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format --dry-run -Werror
passed=$((passed + 1))

stage native
cmake -S . -B $out/native -DBOOTLOADER_WERROR=ON >/dev/null
cmake --build $out/native -j"$jobs"
ctest --test-dir $out/native --output-on-failure -j"$jobs"
passed=$((passed + 1))

stage "installation and packages"
bash scripts/check-package.sh $out/native
passed=$((passed + 1))

stage "a regression farm on Slurm"
bash scripts/check-farm.sh $out/native
passed=$((passed + 1))

stage "AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B $out/sanitize -DBOOTLOADER_SANITIZE=ON -DBOOTLOADER_WERROR=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build $out/sanitize -j"$jobs"
# The launcher and the stand-ins run with an environment of their own and keep the sanitizers'
# defaults, leak detection included; the test programs around them are not checked for leaks.
# The sanitizers cannot run in the 4 MiB of address space of the row that exhausts memory.
ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir $out/sanitize --output-on-failure -j"$jobs" -E "$memory_row"
passed=$((passed + 1))

stage "i386 launcher through qemu-i386, and its packages"
cmake -S . -B $out/i386 --toolchain cmake/i386.cmake -DBOOTLOADER_WERROR=ON >/dev/null
cmake --build $out/i386 -j"$jobs" --target bootloader
grep -q 'Intel 80386' <<<"$(readelf -h $out/i386/bootloader)" ||
  { echo "not an i386 launcher" >&2; false; }
# Nor can the emulator, whose own exec resets every ignored signal to its default, so the row
# that hands an ignored SIGXFSZ on to the simulator runs natively only, too.
BOOTLOADER_UNDER_TEST=$PWD/$out/i386/bootloader BOOTLOADER_RUNNER=qemu-i386 \
  ctest --test-dir $out/native --output-on-failure -j"$jobs" -L blackbox \
  -E "$memory_row|/HandsOnAPendingSigpipeAndAnIgnoredSigxfszTraced"
bash scripts/check-package.sh $out/i386
passed=$((passed + 1))

stage fuzzing
bash scripts/fuzz.sh "${FUZZ_SECONDS:-30}" $out/fuzz
passed=$((passed + 1))

trap - ERR
echo "stages: $passed passed, 0 failed"
