#!/usr/bin/env bash
# The main job on a virtual tape: dump a sample tape into a file, restore that file onto a blank
# tape, and check that every record and tape mark came through unchanged.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=${BRX_BUILD_ROOT:-$top/build}

"$top/tools/install-deps.sh"
cmake -S "$top" -B "$out/linux" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$out/linux" -j "$(nproc)" --target brx brxtool >/dev/null
brx=$out/linux/frontend/brx
brxtool=$out/linux/brxtool/brxtool

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One block of the container: 4-byte big-endian length, 4-byte back-pointer, the data.
be32() { printf "\\$(printf %03o $(($1 >> 24 & 255)))\\$(printf %03o $(($1 >> 16 & 255)))\\$(printf %03o $(($1 >> 8 & 255)))\\$(printf %03o $(($1 & 255)))"; }
offset=0 prev=1
block() {  # length, then the data on standard input
  be32 "$1"; be32 "$prev"; head -c "$1"
  prev=$offset; offset=$((offset + 8 + $1))
}
{
  block 80 < <(printf 'VOL1BRXDEMO%69s' '')
  block 80 < <(printf 'HDR1SAMPLE.DATA%65s' '')
  block 0 </dev/null
  for size in 512 4096 32768 65024 1; do
    block "$size" < <(head -c "$size" /dev/urandom)
  done
  block 0 </dev/null
  block 80 < <(printf 'EOF1SAMPLE.DATA%65s' '')
  block 0 </dev/null
  block 0 </dev/null
} > "$work/sample.dmp"

echo "Sample tape: $(stat -c %s "$work/sample.dmp") bytes: 2 labels, a tape mark, 5 records of 1 to 65,024 bytes,"
echo "a tape mark, a trailer label and two tape marks ($work/sample.dmp)."

echo
echo "\$ BRX_TAPE0=vtape:sample.dmp brx '\\\\.\\tape0' copy.dmp /log=dump.log"
# brx lower-cases its options, the log file name included: run where short lower-case names work.
cd "$work"
BRX_TAPE0="vtape:sample.dmp" "$brx" '\\.\tape0' copy.dmp /log=dump.log
cmp sample.dmp copy.dmp
echo "dump: copy.dmp equals the tape, byte for byte."

echo
echo "\$ BRX_TAPE1=vtape:blank.dmp brx copy.dmp '\\\\.\\tape1' /log=restore.log"
BRX_TAPE1="vtape:blank.dmp" "$brx" copy.dmp '\\.\tape1' /log=restore.log
cmp copy.dmp blank.dmp
echo "restore: the blank tape now holds the same records and tape marks, byte for byte."

echo
echo "\$ brxtool list copy.dmp"
"$brxtool" list copy.dmp
