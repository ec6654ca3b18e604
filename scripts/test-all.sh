#!/usr/bin/env bash
# Builds and tests every form of the launcher: native (warnings as errors), with AddressSanitizer
# and UBSan (errors fatal), for i386 (its black-box suite run through qemu-i386), and runs each
# fuzz target for FUZZ_SECONDS (default 30). Installs missing Debian packages first when root.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-packages.sh
jobs=$(nproc)
memory_row=/SaysWhenMemoryRunsOut
stages=0

echo "== formatting"
git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format --dry-run -Werror
stages=$((stages + 1))

echo "== native"
cmake -S . -B build -DBOOTLOADER_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"
stages=$((stages + 1))

echo "== installation and packages"
bash scripts/check-package.sh build
stages=$((stages + 1))

echo "== AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-sanitize -DBOOTLOADER_SANITIZE=ON -DBOOTLOADER_WERROR=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-sanitize -j"$jobs"
# The launcher and the stand-ins run with an environment of their own and keep the sanitizers'
# defaults, leak detection included; the test programs around them are not checked for leaks.
# The sanitizers cannot run in the 4 MiB of address space of the row that exhausts memory.
ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-sanitize --output-on-failure -j"$jobs" -E "$memory_row"
stages=$((stages + 1))

echo "== i386 launcher through qemu-i386, and its packages"
cmake -S . -B build-i386 --toolchain cmake/i386.cmake -DBOOTLOADER_WERROR=ON >/dev/null
cmake --build build-i386 -j"$jobs" --target bootloader
readelf -h build-i386/bootloader | grep -q 'Intel 80386' || { echo "not an i386 launcher" >&2; exit 1; }
# Nor can the emulator, whose own exec resets every ignored signal to its default, so the row
# that hands an ignored SIGXFSZ on to the simulator runs natively only, too.
BOOTLOADER_UNDER_TEST=$PWD/build-i386/bootloader BOOTLOADER_RUNNER=qemu-i386 \
  ctest --test-dir build --output-on-failure -j"$jobs" -L blackbox \
  -E "$memory_row|/HandsOnAPendingSigpipeAndAnIgnoredSigxfszTraced"
bash scripts/check-package.sh build-i386
stages=$((stages + 1))

echo "== fuzzing"
bash scripts/fuzz.sh "${FUZZ_SECONDS:-30}" build-fuzz
stages=$((stages + 1))

echo "stages: $stages passed, 0 failed"
