#!/usr/bin/env bash
# Builds the Debian package from a copy of the sources (dpkg-buildpackage works inside its source
# tree and leaves its files beside it), checks it with lintian, unpacks it into an empty root and
# runs the programs installed there. Leaves brx_<version>_amd64.deb in OUTDIR.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "$1" && cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "$*" >&2
  exit 1
}

# One version: the project's is the package's.
version=$(sed -n 's/^project(brx VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
packaged=$(dpkg-parsechangelog -l "$top/debian/changelog" -S Version)
[ "$packaged" = "$version" ] || fail "debian/changelog says $packaged, CMakeLists.txt $version"
# The build dependencies are what tools/install-deps.sh installs for a Linux build.
declared=$(awk '/^[^ ]/ { on = /^Build-Depends:/; sub(/^Build-Depends:/, "") } on' "$top/debian/control" |
           tr ',' '\n' | awk '$1 != "" && $1 != "debhelper-compat" { print $1 }' | sort)
diff -u <("$top/tools/install-deps.sh" --build-depends | sort) <(echo "$declared") ||
  fail "debian/control's Build-Depends differ from tools/install-deps.sh --build-depends"

mkdir "$work/brx"
(cd "$top" && git ls-files -co --exclude-standard -z | tar --null --ignore-failed-read -T - -cf -) |
  tar -xf - -C "$work/brx"
# The package's own test run skips the iSCSI tests: CI's target is shared by the builds before.
if ! (cd "$work/brx" && unset BRX_TEST_ISCSI_URL BRX_TEST_LIBRARY_URL && dpkg-buildpackage -us -uc -b -j"$(nproc)") >"$work/build.log" 2>&1; then
  tail -50 "$work/build.log"
  fail "dpkg-buildpackage failed"
fi
grep -E '^[0-9]+% tests passed' "$work/build.log" || echo "the package's build ran no tests"
deb=$work/brx_${version}_amd64.deb
[ -f "$deb" ] || fail "no brx_${version}_amd64.deb"
lintian --fail-on error --info "$work/brx_${version}_amd64.changes"

root=$work/root
dpkg -x "$deb" "$root"
banner=$("$root/usr/bin/brx" 2>&1)
[[ $banner == *"brx $version - tape dump and restore utility"* ]] || fail "the installed brx's banner: $banner"
[ "$("$root/usr/bin/brxtool" --version)" = "brxtool $version" ] || fail "brxtool --version is not $version"
# Two records (one of odd length, padded), two tape marks; as a dump file, a virtual tape's medium.
cd "$work"
printf '\6\0\0\0abcdef\6\0\0\0\3\0\0\0xyz\0\3\0\0\0\0\0\0\0\0\0\0\0' >tape.tap
"$root/usr/bin/brxtool" convert tape.tap medium.dmp >/dev/null
BRX_TAPE0=vtape:$work/medium.dmp "$root/usr/bin/brx" '\\.\tape0' copy.dmp
cmp medium.dmp copy.dmp
"$root/usr/bin/brxtool" verify tape.tap copy.dmp
cp "$deb" "$out/"
echo "$out/brx_${version}_amd64.deb: $(dpkg-deb -c "$deb" | wc -l) entries; installed brx and brxtool ran"
