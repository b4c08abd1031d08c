#!/bin/sh
# Stops the tgtd that start-tgt.sh started for the same working folder.
#   $1  working folder   default /tmp/brx-tgt
set -eu

work=${1:-/tmp/brx-tgt}
[ -f "$work/tgtd.pid" ] || exit 0
pid=$(cat "$work/tgtd.pid")
if kill "$pid" 2>/dev/null; then
    tries=0
    while kill -0 "$pid" 2>/dev/null && [ "$tries" -lt 50 ]; do
        tries=$((tries + 1))
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && kill -9 "$pid" 2>/dev/null
fi
rm -f "$work/tgtd.pid"
