#!/usr/bin/env bash
# Installs, from Debian's archive, whatever this machine lacks to build and test the launcher:
# the native toolchain and GoogleTest, groff for the manual page, lintian and the rpm tools for the
# packages, strace for the row that slows one launch down, g++-multilib and qemu-user for the i386
# launcher, clang with its fuzzing runtime for the fuzz targets, clang-format, and Slurm with munge
# for the farm test's single-node cluster.
set -euo pipefail
missing=()
need() {  # need PACKAGE CHECK-COMMAND...
  local package=$1
  shift
  "$@" >/dev/null 2>&1 || missing+=("$package")
}
need cmake command -v cmake
need g++ command -v g++
need libgtest-dev test -e /usr/include/gtest/gtest.h
need groff-base command -v groff
need lintian command -v lintian
need rpm command -v rpmbuild
need rpm2cpio command -v rpm2cpio
need rpmlint command -v rpmlint
need strace command -v strace
need g++-multilib test -e /usr/lib/gcc/x86_64-linux-gnu/12/32/libstdc++.a
need libc6-dev-i386 test -e /usr/lib32/libc.a
need qemu-user command -v qemu-i386
need clang command -v clang++
need clang-format command -v clang-format
need slurm-wlm command -v slurmctld
need slurmd command -v slurmd
need slurm-client command -v sbatch
need munge command -v munged
need libclang-rt-14-dev sh -c 'ls /usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a'
((${#missing[@]})) || exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${missing[*]} (install them as root: apt-get install ${missing[*]})" >&2
  exit 1
fi
apt-get update
DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
