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

if [ -f "$work/tgtd.pid" ] && kill -0 "$(cat "$work/tgtd.pid")" 2>/dev/null; then
    echo "start-tgt.sh: tgtd already runs for $work (pid $(cat "$work/tgtd.pid"))" >&2
    exit 1
fi

# A fresh tape every time: written records of an earlier run must not leak into this one.
rm -f "$work/tape.img"
tgtimg --op new --device-type tape --barcode BRX001 --size 100 --type data --file "$work/tape.img" >/dev/null

tgtd -f -C "$control" --iscsi portal="127.0.0.1:$port" >"$work/tgtd.log" 2>&1 &
echo $! >"$work/tgtd.pid"

admin() { tgtadm -C "$control" --lld iscsi "$@"; }
tries=0
until admin --mode target --op show >/dev/null 2>&1; do
    tries=$((tries + 1))
    if [ "$tries" -gt 50 ] || ! kill -0 "$(cat "$work/tgtd.pid")" 2>/dev/null; then
        echo "start-tgt.sh: tgtd did not come up; see $work/tgtd.log" >&2
        exit 1
    fi
    sleep 0.1
done

{
    admin --mode target --op new --tid 1 --targetname "$iqn"
    admin --mode logicalunit --op new --tid 1 --lun 1 --bstype ssc --device-type tape --backing-store "$work/tape.img"
    admin --mode target --op bind --tid 1 --initiator-address ALL
} >&2

echo "iscsi://127.0.0.1:$port/$iqn/1"
