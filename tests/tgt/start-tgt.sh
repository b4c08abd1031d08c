#!/bin/sh
# Starts tgtd on loopback with one iSCSI target whose LUN 1 is an ssc tape on a fresh image, and
# prints its URL for the interop tests:  BRX_TEST_ISCSI_URL=$(tests/tgt/start-tgt.sh /tmp/brx-tgt)
# Needs root and Debian's tgt. Stop it with tests/tgt/stop-tgt.sh on the same folder.
#   $1  working folder (created; holds tape.img, tgtd.pid, tgtd.log)   default /tmp/brx-tgt
#   BRX_TGT_PORT     iSCSI port on 127.0.0.1                            default 3261
#   BRX_TGT_CONTROL  tgtd management port, so several tgtd can coexist  default 3262
set -eu

work=${1:-/tmp/brx-tgt}
port=${BRX_TGT_PORT:-3261}
control=${BRX_TGT_CONTROL:-3262}
iqn=iqn.2026-12.org.brx.test:tape
mkdir -p "$work"

script=start-tgt.sh
. "$(dirname "$0")/tgtd.sh"
refuse_running

# A fresh tape every time: written records of an earlier run must not leak into this one.
rm -f "$work/tape.img"
tgtimg --op new --device-type tape --barcode BRX001 --size 100 --type data --file "$work/tape.img" >/dev/null

start_tgtd

{
    admin --mode target --op new --tid 1 --targetname "$iqn"
    admin --mode logicalunit --op new --tid 1 --lun 1 --bstype ssc --device-type tape --backing-store "$work/tape.img"
    admin --mode target --op bind --tid 1 --initiator-address ALL
} >&2

echo "iscsi://127.0.0.1:$port/$iqn/1"
