#!/usr/bin/env bash
# Installs what building and testing brx needs, from Debian's packages. Safe to run again.
set -euo pipefail

# A Linux build and its tests; debian/control's Build-Depends names the same packages (CI compares
# them), the ones only the tests need marked <!nocheck>. zlib and bzip2 compress HET images; scdoc
# makes the manual pages; bash-completion's pkg-config file says where the completion goes.
# Hercules' hetmap and hetupd read and write HET images in the tests; python3-jsonschema checks
# manifests against manifest.schema.json; tgt is the iSCSI target of the interop tests.
build=(cmake pkgconf scdoc bash-completion zlib1g-dev libbz2-dev libiscsi-dev
       libgtest-dev libgmock-dev googletest libiscsi-bin tgt hercules python3-jsonschema)
if [ "${1:-}" = "--build-depends" ]; then
  printf '%s\n' "${build[@]}"
  exit 0
fi
# Debian's build-essential, which packages do not name. clang and its runtimes build the fuzz
# harnesses; gcovr reports the coverage build; groff and man-db's lexgrog check that the manual
# pages render; the rest builds and checks the Debian package and packs the Windows programs.
packages=(g++ make "${build[@]}" clang libclang-rt-14-dev gcovr groff-base man-db dpkg-dev debhelper
          lintian zip)
if [ "${1:-}" = "--all" ]; then
  # The Windows builds (zlib for them) and their test run under wine.
  packages+=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 wine wine64
             libz-mingw-w64-dev)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
# Mirrors are sometimes mid-sync: try again before giving up.
for attempt in 1 2 3 4 5; do
  if "${as_root[@]}" apt-get update -q && \
     "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"; then
    exit 0
  fi
  echo "apt-get failed (attempt $attempt); retrying in $((attempt * 10)) s" >&2
  sleep $((attempt * 10))
done
echo "could not install: ${missing[*]}" >&2
exit 1
