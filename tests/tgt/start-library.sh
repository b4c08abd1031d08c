#!/bin/sh
# Starts tgtd on loopback with a tape library: drives at LUNs 1 and 2, the changer at LUN 3, and
# prints the target's URL without a LUN:  BRX_TEST_LIBRARY_URL=$(tests/tgt/start-library.sh DIR)
# The changer's elements: drives 1-2, transport 3, slots 4-13, import/export 14. Slots 4, 5, 6, 8,
# 10 and 12 hold the data tapes LIB001 to LIB006 (blank), slot 7 the cleaning cartridge CLN001;
# slots 9, 11 and 13 and the import/export element are empty. Needs root and Debian's tgt.
# Stop it with tests/tgt/stop-tgt.sh on the same folder.
#   $1  working folder (created; holds the media, tgtd.pid, tgtd.log)   default /tmp/brx-library
#   BRX_TGT_PORT      iSCSI port on 127.0.0.1                             default 3293
#   BRX_TGT_CONTROL   tgtd management port                                default 3294
set -eu

work=${1:-/tmp/brx-library}
port=${BRX_TGT_PORT:-3293}
control=${BRX_TGT_CONTROL:-3294}
iqn=iqn.2026-12.org.brx.test:library
mkdir -p "$work/media"

script=start-library.sh
. "$(dirname "$0")/tgtd.sh"
refuse_running

# slot:barcode pairs; fresh media every time, so no earlier run's records leak into this one.
layout="4:LIB001 5:LIB002 6:LIB003 7:CLN001 8:LIB004 10:LIB005 12:LIB006"
rm -f "$work/media/"*
dd if=/dev/zero of="$work/smc" bs=1k count=1 2>/dev/null
for pair in $layout; do
    barcode=${pair#*:}
    type=data
    case $barcode in CLN*) type=clean ;; esac
    tgtimg --op new --device-type tape --barcode "$barcode" --size 64 --type "$type" \
        --file "$work/media/$barcode" >/dev/null
done
# A drive LUN needs some medium to be created with; it is taken offline (empty) at once.
tgtimg --op new --device-type tape --barcode NONE --size 1 --type data --file "$work/none" >/dev/null

start_tgtd
changer() { admin --mode logicalunit --op update --tid 1 --lun 3 --params "$1"; }

{
    admin --mode target --op new --tid 1 --targetname "$iqn"
    for lun in 1 2; do
        admin --mode logicalunit --op new --tid 1 --lun $lun --bstype ssc --device-type tape -b "$work/none"
        admin --mode logicalunit --op update --tid 1 --lun $lun --params online=0
    done
    admin --mode logicalunit --op new --tid 1 --lun 3 --device-type changer -b "$work/smc"
    changer "media_home=$work/media"
    changer element_type=4,start_address=1,quantity=2
    changer element_type=4,address=1,tid=1,lun=1
    changer element_type=4,address=2,tid=1,lun=2
    changer element_type=1,start_address=3,quantity=1
    changer element_type=2,start_address=4,quantity=10
    for pair in $layout; do
        changer "element_type=2,address=${pair%%:*},barcode=${pair#*:},sides=1"
    done
    changer element_type=3,start_address=14,quantity=1
    admin --mode target --op bind --tid 1 --initiator-address ALL
} >&2

echo "iscsi://127.0.0.1:$port/$iqn"
