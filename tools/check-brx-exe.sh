#!/usr/bin/env bash
# Checks the shipped 32-bit brx.exe without running it: a PE32 i386 console program that imports
# only system DLLs and carries nothing of the test build (no BRX_ variable names).
set -euo pipefail
exe=$1
headers=$(i686-w64-mingw32-objdump -p "$exe")
fail() { echo "$exe: $*" >&2; exit 1; }
grep -q 'file format pei-i386' <<<"$headers" || fail "not an i386 PE file"
grep -qE '^Magic[[:space:]]+010b' <<<"$headers" || fail "not PE32"
grep -qE '^Subsystem[[:space:]]+00000003' <<<"$headers" || fail "not a console program"
dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort -u)
others=$(grep -vxE 'kernel32\.dll|msvcrt\.dll|ws2_32\.dll|advapi32\.dll|user32\.dll' <<<"$dlls" || true)
[ -z "$others" ] || fail "imports non-system DLLs: $others"
! grep -qa 'BRX_' "$exe" || fail "contains a BRX_ string"
echo "$exe: PE32 i386 console program; imports $(echo $dlls); no BRX_ string"
