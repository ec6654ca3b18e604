#!/usr/bin/env bash
# Installs the built launcher into a temporary prefix and makes both packages. Checks that each
# holds the launcher, its compressed manual page (which renders without a warning), changelog and
# copyright; that the Debian package passes lintian without an error or a warning; and that its
# launcher is stripped yet still carries its identification strings.
# Usage: scripts/check-package.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd) here=$(cd "$(dirname "$0")/.." && pwd)
setting() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version=$(setting BOOTLOADER_SOFTWARE_VERSION) tag=$(setting BOOTLOADER_VKS_TAG)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
files="bin/bootloader share/man/man1/bootloader.1.gz share/doc/bootloader/changelog.gz
  share/doc/bootloader/copyright share/lintian/overrides/bootloader"
for file in $files; do
  [ -f "$work/prefix/$file" ] || fail "$file not installed"
done
warnings=$(zcat "$work/prefix/share/man/man1/bootloader.1.gz" | groff -man -ww -z 2>&1) ||
  fail "groff failed: $warnings"
[ -z "$warnings" ] || fail "the manual page renders with warnings: $warnings"
zcat "$work/prefix/share/man/man1/bootloader.1.gz" | grep -c "bootloader $version" >/dev/null ||
  fail "the manual page does not name version $version"

(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/packages" >/dev/null)
tarball=$(ls "$work"/packages/bootloader-"$version"-*.tar.gz) || fail "no .tar.gz for $version"
deb=$(ls "$work"/packages/bootloader-"$version"-*.deb) || fail "no .deb for $version"
tarballFiles=$(tar -tzf "$tarball") debFiles=$(dpkg-deb -c "$deb")
for file in $files; do
  grep -q "/$file\$" <<<"$tarballFiles" || fail "$file missing from $tarball"
  grep -q "/$file\$" <<<"$debFiles" || fail "$file missing from $deb"
done
dpkg-deb -f "$deb" Description | grep -q "software version $version" ||
  fail "the .deb does not carry software version $version"
report=$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v 'running with root privileges' || true)
[ -z "$report" ] || fail "lintian reports: $report"
dpkg-deb -x "$deb" "$work/unpacked"
launcher=$work/unpacked/usr/bin/bootloader
sections=$(readelf -SW "$launcher")
grep -qw .symtab <<<"$sections" && fail "the packaged launcher is not stripped"
BOOTLOADER_UNDER_TEST= bash "$here/tests/identification_test.sh" "$launcher" "$version" "$tag" \
  >/dev/null || fail "the packaged launcher lacks its identification strings"
echo "packages: installed, packaged and linted $version"
