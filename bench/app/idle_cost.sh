#!/bin/bash
# Idle cost of the background service and of the manager, set up as
# scripts/run.sh sets them up: the adapter emulator with one adapter plugged,
# the cloud emulator, the remote-session relay, the service asking the usual
# nine addresses (169.254.100.1 and eight loopback ones, one of which answers)
# and the manager on the device page with the relay registration running.
# Once the adapter has reached the manager and things have settled, each
# process is measured over the window from /proc:
#   CPU       utime + stime of /proc/PID/stat (all threads, ended ones too),
#             as % of one core; "fine" is the same from the threads' schedstat
#             run times (nanoseconds, threads alive at the end);
#   wake-ups  voluntary + involuntary context switches of every thread
#             (/proc/PID/task/*/status), per second.
# Everything runs on its own ports, addresses, shared-memory prefix, data and
# configuration folders and X server, so it never meets a running
# scripts/run.sh or a test.
#
# Usage: bench/app/idle_cost.sh [seconds=60] [build dir=build]
#        KEEP=1 keeps the run folder (logs) and prints its path.
set -e
cd "$(dirname "$0")/../.."
ROOT=$PWD
WINDOW=${1:-60}
BUILD=$(cd "${2:-$ROOT/build}" && pwd)
BIN=$BUILD/bin
for p in Brindlewick BrindlewickService vci-emulator cloud-emulator remote-relay ClientRemote.so; do
    [ -x "$BIN/$p" ] || { echo "missing $BIN/$p (build it first)" >&2; exit 2; }
done
command -v Xvfb >/dev/null || { echo "needs Xvfb" >&2; exit 2; }

RUN=$(mktemp -d /tmp/bw-idle-cost.XXXXXX)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    # The blocks and events of this run's processes (their names carry this
    # run's prefix; the manager leaves its single-instance block by design).
    rm -f /dev/shm/"bwidle$$_"*
    if [ -n "$KEEP" ]; then echo "run folder: $RUN"; else rm -rf "$RUN"; fi
}
trap cleanup EXIT

# Waits for a line matching $2 in file $1 (at most 10 s) and prints it.
wait_line() {
    for _ in $(seq 100); do
        line=$(grep -m1 -E "$2" "$1" 2>/dev/null || true)
        [ -n "$line" ] && { echo "$line"; return 0; }
        sleep 0.1
    done
    echo "no '$2' in $1" >&2
    cat "$1" >&2
    return 1
}

mkdir -p "$RUN/runtime" "$RUN/config" "$RUN/data" "$RUN/cache"
chmod 700 "$RUN/runtime"
export XDG_RUNTIME_DIR=$RUN/runtime XDG_CONFIG_HOME=$RUN/config XDG_DATA_HOME=$RUN/data XDG_CACHE_HOME=$RUN/cache
export BRINDLEWICK_INSTANCE=idlecost$$
export BRINDLEWICK_SHM_PREFIX=bwidle$$_
export BRINDLEWICK_DATA_ROOT=$RUN/ProgramData BRINDLEWICK_REGISTRY_ROOT=$RUN/registry BRINDLEWICK_LOG_DIR=$RUN/logs
export BRINDLEWICK_NO_SERVICE_START=1
mkdir -p "$BRINDLEWICK_DATA_ROOT" "$BRINDLEWICK_REGISTRY_ROOT"

# Loopback addresses of our own: run.sh uses 127.0.100.x, tests 127.0.100-149.x.
NET=127.0.$((200 + $$ % 50))

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$RUN/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$RUN/display" ] && break; sleep 0.1; done
[ -s "$RUN/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -n1 "$RUN/display")

scripts/relay-cert.sh "$RUN/tls"
export BRINDLEWICK_CA_FILE=$RUN/tls/ca.pem
"$BIN/remote-relay" --cert "$RUN/tls/relay.pem" --key "$RUN/tls/relay.key" --bind 127.0.0.1 --port 0 \
    >"$RUN/relay.log" 2>&1 &
pids+=($!)
export BRINDLEWICK_RELAY_PORT=$(wait_line "$RUN/relay.log" 'listening on' | grep -oE '[0-9]+$')
"$BIN/cloud-emulator" --http-port 0 --relay 127.0.0.1 >"$RUN/cloud.log" 2>&1 &
pids+=($!)
cport=$(wait_line "$RUN/cloud.log" 'http=' | grep -oE 'http=[0-9]+' | cut -d= -f2)
export BRINDLEWICK_MAIN_API_BASE=http://127.0.0.1:$cport/ BRINDLEWICK_MAPPING_BASE=http://127.0.0.1:$cport/
"$BIN/vci-emulator" --no-stdin --plug 1 --base-address "$NET.1" --port 0 --control-port 0 --passthru-port 0 \
    >"$RUN/vci.log" 2>&1 &
pids+=($!)
vport=$(wait_line "$RUN/vci.log" 'protocol port' | grep -oE 'protocol port [0-9]+' | grep -oE '[0-9]+')
export BRINDLEWICK_MT7628_PORT=$vport
serial=$(wait_line "$RUN/vci.log" '^adapter 1 ' | awk '{print $4}')

"$BIN/BrindlewickService" --probe "169.254.100.1,$NET.1-8" --port "$vport" --lock "$RUN/service.lock" \
    >"$RUN/service.out" 2>&1 &
service=$!
pids+=($service)
"$BIN/Brindlewick" >"$RUN/manager.out" 2>&1 &
manager=$!
pids+=($manager)

# The adapter has reached the manager once its status pass has read the serial
# and handed it to the account service's registration.
shown=0
for _ in $(seq 300); do
    if grep -q "adapter \"$serial\" registered" "$RUN/manager.out"; then shown=1; break; fi
    kill -0 "$manager" 2>/dev/null || break
    sleep 0.1
done
[ "$shown" = 1 ] || { echo "the adapter $serial did not reach the manager" >&2; cat "$RUN/manager.out" >&2; exit 1; }
# Start-up work (version check, first pages, registration) is over by then.
sleep "${SETTLE:-10}"

ticks_per_s=$(getconf CLK_TCK)
# utime + stime in clock ticks.
ticks() { awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/stat"; }
# Sum over live threads: context switches, and run time in ns.
switches() { cat /proc/"$1"/task/*/status 2>/dev/null | awk '/^(voluntary|nonvoluntary)_ctxt_switches/ { s += $2 } END { print s + 0 }'; }
runns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%.0f\n", s + 0 }'; }
threads() { ls /proc/"$1"/task | wc -l; }

# Per thread: "pid/tid name switches run-ns" (DETAIL=1 prints where the wake-ups go).
perthread() {
    for t in /proc/"$1"/task/*; do
        awk -v id="$1/${t##*/}" -v ns="$(cut -d' ' -f1 "$t/schedstat" 2>/dev/null)" '/^Name:/ { n = $2 }
            /^(voluntary|nonvoluntary)_ctxt_switches/ { s += $2 } END { print id, n, s + 0, ns + 0 }' "$t/status" 2>/dev/null
    done
}

declare -A t0 s0 r0
for p in $service $manager; do t0[$p]=$(ticks $p); s0[$p]=$(switches $p); r0[$p]=$(runns $p); done
[ -n "$DETAIL" ] && { perthread $service; perthread $manager; } >"$RUN/threads0"
start=$(date +%s%N)
sleep "$WINDOW"
end=$(date +%s%N)
for p in $service $manager; do
    kill -0 "$p" 2>/dev/null || { echo "process $p ended during the measurement" >&2; exit 1; }
done

if [ -n "$DETAIL" ]; then
    { perthread $service; perthread $manager; } >"$RUN/threads1"
    echo "per thread over the window: wake-ups, CPU ms"
    awk 'NR == FNR { a[$1] = $3; b[$1] = $4; next }
        { printf "  %-16s %-16s %6d %8.1f\n", $1, $2, $3 - a[$1], ($4 - b[$1]) / 1e6 }' \
        "$RUN/threads0" "$RUN/threads1" | sort -k3 -n -r | head -n 30
fi
echo "idle cost over $(awk -v n=$((end - start)) 'BEGIN { printf "%.1f", n / 1e9 }') s (adapter $serial, $(nproc) cores):"
for p in $service $manager; do
    name=$([ "$p" = "$service" ] && echo service || echo manager)
    awk -v name="$name" -v t=$(($(ticks $p) - t0[$p])) -v hz="$ticks_per_s" -v s=$(($(switches $p) - s0[$p])) \
        -v r=$(($(runns $p) - r0[$p])) -v ns=$((end - start)) -v th="$(threads $p)" 'BEGIN {
            sec = ns / 1e9
            printf "  %-8s CPU %.3f %% of one core (fine %.3f %%), %.1f wake-ups/s, %d threads\n",
                name, 100 * t / hz / sec, 100 * r / ns, s / sec, th
        }'
done
