#!/usr/bin/env bash
# Installs the built launcher into a temporary prefix and makes both packages, checking that each
# holds the launcher and its manual page, that the manual page renders without a warning, and
# that the packages carry the software version.
# Usage: packaging_test.sh BUILD_DIR SOFTWARE_VERSION
set -euo pipefail
build=$(cd "$1" && pwd) version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
[ -x "$work/prefix/bin/bootloader" ] || fail "bin/bootloader not installed"
man="$work/prefix/share/man/man1/bootloader.1"
[ -f "$man" ] || fail "share/man/man1/bootloader.1 not installed"
warnings=$(groff -man -ww -z "$man" 2>&1) || fail "groff failed: $warnings"
[ -z "$warnings" ] || fail "the manual page renders with warnings: $warnings"
grep -q "bootloader $version" "$man" || fail "the manual page does not name version $version"

(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/packages" >/dev/null)
tarball=$(ls "$work"/packages/bootloader-"$version"-*.tar.gz) || fail "no .tar.gz for $version"
deb=$(ls "$work"/packages/bootloader-"$version"-*.deb) || fail "no .deb for $version"
tarballFiles=$(tar -tzf "$tarball")
debFiles=$(dpkg-deb -c "$deb")
for file in bin/bootloader share/man/man1/bootloader.1; do
  grep -q "/$file\$" <<<"$tarballFiles" || fail "$file missing from $tarball"
  grep -q "/$file\$" <<<"$debFiles" || fail "$file missing from $deb"
done
dpkg-deb -f "$deb" Description | grep -q "software version $version" ||
  fail "the .deb does not carry software version $version"
echo "packaging: installed and packaged $version"
