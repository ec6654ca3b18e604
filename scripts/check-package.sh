#!/usr/bin/env bash
# Installs the built launcher into a temporary prefix and makes its three packages. Checks that
# each holds the launcher, its compressed manual page (which renders without a warning), changelog
# and copyright, and that only the .deb holds the lintian override; that the .deb passes lintian
# and the .rpm rpmlint without an error or a warning (doc/rpmlint.toml and
# doc/bootloader.rpmlintrc say what is so by design); that the .rpm is named and licensed as RPM
# tools expect; that each requires nothing; that the launcher unpacked from each
# is stripped yet still carries its identification strings; and each package's life cycle: the
# .deb installed with dpkg, run from /usr/bin and purged, the .rpm installed into an empty root,
# verified, run and erased, each leaving no file behind. And that a second build, from a copy of
# the sources in another folder, gives the same packages byte for byte. Needs root to install the
# .deb.
# Usage: scripts/check-package.sh BUILD_DIR (the native build, or the i386 one)
set -euo pipefail
build=$(cd "$1" && pwd) here=$(cd "$(dirname "$0")/.." && pwd)
setting() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version=$(setting BOOTLOADER_SOFTWARE_VERSION) tag=$(setting BOOTLOADER_VKS_TAG)
copyright=$(setting BOOTLOADER_COPYRIGHT)
work=$(mktemp -d) addedArchitecture=
cleanUp() {
  dpkg -s bootloader &>/dev/null && [ -e "$work/installed" ] && dpkg -P bootloader >/dev/null
  [ -z "$addedArchitecture" ] || dpkg --remove-architecture "$addedArchitecture"
  rm -rf "$work"
}
trap cleanUp EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }
# Under pipefail, "command | grep -q" fails whenever grep stops reading before the command ends:
# output is taken whole first, then searched.

cmake --build "$build" --target bootloader documentation >/dev/null
cmake --install "$build" --prefix "$work/prefix" >/dev/null
files="bin/bootloader share/man/man1/bootloader.1.gz share/doc/bootloader/changelog.gz
  share/doc/bootloader/copyright"
override=share/lintian/overrides/bootloader
for file in $files; do
  [ -f "$work/prefix/$file" ] || fail "$file not installed"
done
[ ! -e "$work/prefix/$override" ] || fail "cmake --install installs the lintian override"
warnings=$(zcat "$work/prefix/share/man/man1/bootloader.1.gz" | groff -man -ww -z 2>&1) ||
  fail "groff failed: $warnings"
[ -z "$warnings" ] || fail "the manual page renders with warnings: $warnings"
zcat "$work/prefix/share/man/man1/bootloader.1.gz" | grep -c "bootloader $version" >/dev/null ||
  fail "the manual page does not name version $version"

# A fixed time for what the packages record, the last commit's unless given: see the comparison.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$here" log -1 --format=%ct)}
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/packages" >/dev/null)
tarball=$(ls "$work"/packages/bootloader-"$version"-*.tar.gz) || fail "no .tar.gz for $version"
arch=$(grep -q 'Intel 80386' <<<"$(readelf -h "$build/bootloader")" && echo i686 || echo x86_64)
debArch=$([ "$arch" = i686 ] && echo i386 || echo amd64)
deb=$work/packages/bootloader_$(setting CMAKE_PROJECT_VERSION)_$debArch.deb
rpm=$work/packages/bootloader-$(setting CMAKE_PROJECT_VERSION)-1.$arch.rpm
[ -f "$deb" ] || fail "no ${deb##*/}"
[ -f "$rpm" ] || fail "no ${rpm##*/}"

# Packages are reproducible: built with the same SOURCE_DATE_EPOCH from a copy of the sources in
# another folder, configured as BUILD_DIR is, they are the same bytes.
copy=$work/copy/sources
mkdir -p "$copy"
tar -C "$here" --exclude-vcs --exclude='./build*' --exclude=./out -cf - . | tar -C "$copy" -xf -
settings=()
while IFS= read -r entry; do
  settings+=("-D${entry//"$here"/"$copy"}")
done < <(grep -E '^(BOOTLOADER_[A-Z_]+|CMAKE_(BUILD_TYPE|TOOLCHAIN_FILE)):' "$build/CMakeCache.txt")
cmake -S "$copy" -B "$work/copy/build" "${settings[@]}" -DBOOTLOADER_TESTS=OFF >/dev/null
cmake --build "$work/copy/build" -j2 --target bootloader documentation >/dev/null
(cd "$work/copy" && cpack --config build/CPackConfig.cmake -B packages >/dev/null)
for package in "$tarball" "$deb" "$rpm"; do
  cmp -s "$package" "$work/copy/packages/${package##*/}" ||
    fail "${package##*/} differs when built from another folder"
done

tarballFiles=$(tar -tzf "$tarball") debFiles=$(dpkg-deb -c "$deb") rpmFiles=$(rpm -qlp "$rpm")
for file in $files $override; do
  grep -q "/$file\$" <<<"$debFiles" || fail "$file missing from $deb"
done
for file in $files; do
  grep -q "/$file\$" <<<"$tarballFiles" || fail "$file missing from $tarball"
  grep -q "^/usr/$file\$" <<<"$rpmFiles" || fail "$file missing from $rpm"
done
# The lint override is for Debian's tools only.
grep -q lintian <<<"$tarballFiles" && fail "the .tar.gz holds the lintian override"
grep -q lintian <<<"$rpmFiles" && fail "the .rpm holds the lintian override"

grep -q "software version $version" <<<"$(dpkg-deb -f "$deb" Description)" ||
  fail "the .deb does not carry software version $version"
[ "$(rpm -qp --qf '%{LICENSE}' "$rpm")" = MIT ] || fail "the .rpm's License is not MIT"
# The launcher is static: it needs no package, nor the dynamic loader.
[ -z "$(dpkg-deb -f "$deb" Depends Pre-Depends)" ] || fail "the .deb depends on other packages"
requires=$(rpm -qpR "$rpm" | grep -v '^rpmlib(' || true)
[ -z "$requires" ] || fail "the .rpm requires $requires"
report=$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v 'running with root privileges' || true)
[ -z "$report" ] || fail "lintian reports: $report"
report=$(rpmlint -c "$here/doc/rpmlint.toml" -r "$here/doc/bootloader.rpmlintrc" "$rpm" 2>&1 |
  grep -E ': [EW]: ' || true)
[ -z "$report" ] || fail "rpmlint reports: $report"

dpkg-deb -x "$deb" "$work/deb"
mkdir "$work/rpm" && (cd "$work/rpm" && rpm2cpio "$rpm" | cpio -idm --quiet)
for launcher in "$work/deb/usr/bin/bootloader" "$work/rpm/usr/bin/bootloader"; do
  grep -qw .symtab <<<"$(readelf -SW "$launcher")" && fail "$launcher is not stripped"
  BOOTLOADER_UNDER_TEST= bash "$here/tests/identification_test.sh" "$launcher" "$version" "$tag" \
    "$copyright" >/dev/null || fail "$launcher lacks its identification strings"
done

# runs LAUNCHER: the installed launcher answers under its own name (through the emulator for i386).
runs() {
  local runner=()
  [ "$arch" = x86_64 ] || runner=(qemu-i386)
  grep -q "^bootloader $version " <<<"$("${runner[@]}" "$1" --version)" || fail "$1 does not run"
}
! dpkg -s bootloader &>/dev/null ||
  fail "a bootloader package is installed already; remove it first"
if ! grep -qx "$debArch" <<<"$(dpkg --print-architecture; dpkg --print-foreign-architectures)"; then
  dpkg --add-architecture "$debArch" && addedArchitecture=$debArch
fi
touch "$work/installed" && dpkg -i "$deb" >/dev/null || fail "dpkg -i ${deb##*/} failed"
runs /usr/bin/bootloader
dpkg -P bootloader >/dev/null || fail "dpkg -P bootloader failed"
for file in $files $override share/doc/bootloader; do
  [ ! -e "/usr/$file" ] || fail "/usr/$file is left after dpkg -P"
done
root=$work/rpm-root
# Debian's rpm warns on every call that it is not Debian's installer; only its errors are shown.
inRoot() {
  rpm --root "$root" "$@" 2>"$work/rpm.err" || fail "rpm $*: $(grep -v '^rpm: ' "$work/rpm.err")"
}
mkdir "$root" && inRoot --initdb
inRoot -i "$rpm"
inRoot -V bootloader
runs "$root/usr/bin/bootloader"
inRoot -e bootloader
left=$(find "$root" -type f -not -path "$root/root/.rpmdb/*" -not -path "$root/var/lib/rpm/*")
[ -z "$left" ] || fail "rpm -e leaves $left"
echo "packages: made (and made again alike from another folder), linted, unpacked, installed, run" \
  "and removed $version for $arch"
