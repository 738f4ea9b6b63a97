# shellcheck shell=sh
# Sourced by the integration run and the demo (POSIX sh).

# stop_simulators: ends every simulator start_simulator started (by the PIDs in $pids) and waits
# for each.
pids=""
stop_simulators() {
    for pid in $pids; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in $pids; do
        wait "$pid" 2>/dev/null || true
    done
}

# start_simulator SIM DIR NAME UPLOAD_PORT STREAM_PORT SIM_OPTION...: starts the simulator SIM
# on loopback ports of the system's choosing, with the firmware ports given, its output in
# DIR/NAME.out and DIR/NAME.err; appends its PID to $pids and, once it says "ready main=PORT
# legacy=PORT", sets ready_main and ready_legacy. Exits 1 when it is not ready within 10 s.
start_simulator() {
    sim=$1 dir=$2 name=$3 upload=$4 stream=$5
    shift 5
    "$sim" --bind 0.0.0.0 --main-port 0 --legacy-port 0 \
        --upload-port "$upload" --stream-port "$stream" "$@" \
        > "$dir/$name.out" 2> "$dir/$name.err" &
    pids="$pids $!"
    tries=0
    until grep -q '^ready ' "$dir/$name.out" 2>/dev/null; do
        tries=$((tries + 1))
        if [ $tries -gt 100 ]; then
            echo "simulator $name did not get ready" >&2
            cat "$dir/$name.err" >&2
            exit 1
        fi
        sleep 0.1
    done
    ready_line=$(grep '^ready ' "$dir/$name.out")
    # shellcheck disable=SC2034  # ready_main and ready_legacy are for the scripts that source this
    ready_main=$(echo "$ready_line" | sed -n 's/.*main=\([0-9]*\).*/\1/p')
    # shellcheck disable=SC2034
    ready_legacy=$(echo "$ready_line" | sed -n 's/.*legacy=\([0-9]*\).*/\1/p')
}
