# Sourced by the start scripts, which set $work, $port, $control and $script (their own name).

# Stops the script when the tgtd started for $work still runs.
refuse_running() {
    if [ -f "$work/tgtd.pid" ] && kill -0 "$(cat "$work/tgtd.pid")" 2>/dev/null; then
        echo "$script: tgtd already runs for $work (pid $(cat "$work/tgtd.pid"))" >&2
        exit 1
    fi
}

admin() { tgtadm -C "$control" --lld iscsi "$@"; }

# Starts tgtd on 127.0.0.1:$port with management port $control; returns once it answers.
start_tgtd() {
    tgtd -f -C "$control" --iscsi portal="127.0.0.1:$port" >"$work/tgtd.log" 2>&1 &
    echo $! >"$work/tgtd.pid"
    tries=0
    until admin --mode target --op show >/dev/null 2>&1; do
        tries=$((tries + 1))
        if [ "$tries" -gt 50 ] || ! kill -0 "$(cat "$work/tgtd.pid")" 2>/dev/null; then
            echo "$script: tgtd did not come up; see $work/tgtd.log" >&2
            exit 1
        fi
        sleep 0.1
    done
}
