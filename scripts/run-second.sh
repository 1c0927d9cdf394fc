#!/bin/bash
# A second manager on this machine.
#
#   scripts/run-second.sh            beside the copy scripts/run.sh runs: instance
#                                    "second" with its own shared-memory prefix,
#                                    service, data, registry, logs and program-folder
#                                    files; no adapter of its own (WITH_ADAPTER=1: one
#                                    from a second adapter emulator on 127.0.110.1, away
#                                    from the B-end virtual adapters' 127.0.101.x, whose
#                                    pass-thru listener takes port 7630 there too).
#   scripts/run-second.sh --pair     a remote-session pair on its own: relay (a
#                                    throw-away test CA), cloud emulator as relay
#                                    directory and mapping service, adapter emulator,
#                                    and two managers, "c-end" with the adapter and
#                                    "b-end" without, each with its own service. All
#                                    ports are picked free; everything is stopped on exit.
#   scripts/run-second.sh --pair --device-control
#                                    the same pair for device control: "b-end" gets an
#                                    adapter of its own (adapter 2 of the emulator) with no
#                                    vehicle on its buses (every ECU off the bus), both
#                                    managers find the J2534 library through a registration
#                                    of their own, and the b-end bus's scripted tester
#                                    (control port: vehicle 2 tester ... ask) stands in for the
#                                    technician's tool.
#
# Uses $DISPLAY (else :77, run.sh's Xvfb). INSTANCE=name renames the second copy;
# RUN_SECONDS=N ends the run after N seconds.
set -e
cd "$(dirname "$0")/.."
ROOT=$PWD
BIN=$ROOT/build/bin
[ -x "$BIN/Brindlewick" ] || { echo "build first: scripts/build.sh" >&2; exit 1; }
export DISPLAY=${DISPLAY:-:77}

pids=()
RUN=
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    # A manager that restarted itself (a language switch) runs under a new
    # process id: found by the data root this script gave it.
    [ -n "$RUN" ] || return 0
    local e p v
    for e in /proc/[0-9]*/environ; do
        while IFS= read -r -d '' v; do
            if [[ $v == "BRINDLEWICK_DATA_ROOT=$RUN/"* ]]; then
                p=${e#/proc/}; kill "${p%/environ}" 2>/dev/null || true
                break
            fi
        done 2>/dev/null <"$e" || true
    done
}
trap cleanup EXIT

# Waits for a line matching $2 in file $1 (at most 10 s) and prints it.
wait_line() {
    for _ in $(seq 100); do
        line=$(grep -m1 -E "$2" "$1" 2>/dev/null || true)
        [ -n "$line" ] && { echo "$line"; return 0; }
        sleep 0.1
    done
    echo "no '$2' in $1" >&2; cat "$1" >&2; return 1
}

# One manager with its own service: instance name, probe address, adapter port.
start_manager() {
    local name=$1 probe=$2 port=$3 run=$4
    mkdir -p "$run/$name"
    (
        export BRINDLEWICK_INSTANCE=$name BRINDLEWICK_SHM_PREFIX=bw${name}_
        export BRINDLEWICK_DATA_ROOT=$run/$name/ProgramData BRINDLEWICK_REGISTRY_ROOT=$run/$name/registry
        export BRINDLEWICK_LOG_DIR=$run/$name/logs BRINDLEWICK_NO_SERVICE_START=1
        mkdir -p "$BRINDLEWICK_DATA_ROOT" "$BRINDLEWICK_REGISTRY_ROOT"
        "$BIN/BrindlewickService" --probe "$probe" --port "$port" --lock "$run/$name/service.lock" \
            >"$run/$name/service.out" 2>&1 &
        echo $! >"$run/$name/service.pid"
        "$BIN/Brindlewick" >"$run/$name/manager.out" 2>&1 &
        echo $! >"$run/$name/manager.pid"
    )
    pids+=("$(cat "$run/$name/service.pid")" "$(cat "$run/$name/manager.pid")")
    echo "$name: logs in $run/$name/logs"
}

if [ "$1" = "--pair" ]; then
    shift
    control=0
    if [ "$1" = "--device-control" ]; then control=1; shift; fi
    RUN=$ROOT/build/run/pair
    rm -rf "$RUN"; mkdir -p "$RUN/runtime"; chmod 700 "$RUN/runtime"
    # The virtual adapter records live in the runtime folder: one of the pair's own.
    export XDG_RUNTIME_DIR=$RUN/runtime
    # A throw-away CA and relay certificate for 127.0.0.1.
    scripts/relay-cert.sh "$RUN"
    export BRINDLEWICK_CA_FILE=$RUN/ca.pem

    "$BIN/remote-relay" --cert "$RUN/relay.pem" --key "$RUN/relay.key" --bind 127.0.0.1 --port 0 \
        >"$RUN/relay.log" 2>&1 & pids+=($!)
    export BRINDLEWICK_RELAY_PORT=$(wait_line "$RUN/relay.log" 'listening on' | grep -oE '[0-9]+$')
    "$BIN/cloud-emulator" --http-port 0 --relay 127.0.0.1 >"$RUN/cloud.log" 2>&1 & pids+=($!)
    cport=$(wait_line "$RUN/cloud.log" 'http=' | grep -oE 'http=[0-9]+' | cut -d= -f2)
    export BRINDLEWICK_MAIN_API_BASE=http://127.0.0.1:$cport/ BRINDLEWICK_MAPPING_BASE=http://127.0.0.1:$cport/
    "$BIN/vci-emulator" --no-stdin --adapters $((1 + control)) --base-address 127.0.100.1 --port 0 --control-port 0 \
        --passthru-port 0 >"$RUN/vci.log" 2>&1 & pids+=($!)
    started=$(wait_line "$RUN/vci.log" 'protocol port')
    vport=$(echo "$started" | grep -oE 'protocol port [0-9]+' | grep -oE '[0-9]+')
    export BRINDLEWICK_MT7628_PORT=$vport
    # The adapter's pass-thru port: the c-end connects to it, the b-end's
    # virtual adapter listens on it and J2534 applications dial it.
    export BW_PASSTHRU_PORT=$(grep -oE 'pass-thru port [0-9]+' "$RUN/vci.log" | head -n1 | grep -oE '[0-9]+')

    bprobe=127.0.100.250 # no adapter answers there
    if [ "$control" = 1 ]; then
        bprobe=127.0.100.2
        ctl=$(echo "$started" | grep -oE 'control port [0-9]+' | grep -oE '[0-9]+')
        export BW_PASSTHRU_PORT=$(echo "$started" | grep -oE 'pass-thru port [0-9]+' | grep -oE '[0-9]+')
        # The pass-thru library as the "J2534_0404" driver registers it.
        export XDG_CONFIG_HOME=$RUN/xdg XDG_CONFIG_DIRS=$RUN/xdg
        mkdir -p "$XDG_CONFIG_HOME/j2534/04.04"
        printf '{"Name": "Brindlewick J2534", "Vendor": "Brindlewick", "FunctionLibrary": "%s"}\n' \
            "$BIN/BrindlewickJ2534.so" >"$XDG_CONFIG_HOME/j2534/04.04/brindlewick-j2534.json"
        # The b-end adapter's buses carry no vehicle: every ECU leaves them.
        for ecu in engine transmission abs body gateway; do
            exec 3<>/dev/tcp/127.0.0.1/"$ctl"; echo "vehicle 2 ecu $ecu off" >&3; read -r -t 2 _ <&3 || true; exec 3>&-
        done
        # Both cars' body bus (pins 3/11) at 125 kbit/s, the rate "Config Select" starts on.
        for n in 1 2; do
            exec 3<>/dev/tcp/127.0.0.1/"$ctl"; echo "vehicle $n rate 3-11 125000" >&3; read -r -t 2 _ <&3 || true; exec 3>&-
        done
    fi

    start_manager c-end 127.0.100.1 "$vport" "$RUN"
    start_manager b-end "$bprobe" "$vport" "$RUN"
    echo "relay 127.0.0.1:$BRINDLEWICK_RELAY_PORT, cloud $BRINDLEWICK_MAIN_API_BASE (records: ${BRINDLEWICK_MAIN_API_BASE}__control/mapping-records)"
    if [ "$control" = 1 ]; then
        echo "On b-end: Remote, partner SN = the c-end's serial, Device control, the code c-end shows,"
        echo "Config Select 500 Kbps / 125 Kbps. Then the b-end bus's tester asks the car for its VIN and DTCs:"
        for ask in 22F190 1902FF; do
            echo "  bash -c 'exec 3<>/dev/tcp/127.0.0.1/$ctl; echo \"vehicle 2 tester 6-14 ask 7E0 7E8 $ask\" >&3; head -n1 <&3'"
        done
        echo "(the answer line is the engine's response in hexadecimal; 'vehicle 1 info' / 'dump' on the"
        echo "same port show the c-end bus's traffic)."
    else
        echo "On b-end: Remote, partner SN = the c-end's serial, Connect, the code c-end shows."
        echo "Then J2534 at the b-end: BRINDLEWICK_SHM_PREFIX=bwb-end_ BW_PASSTHRU_PORT=$BW_PASSTHRU_PORT $BIN/j2534-tool --library $BIN/BrindlewickJ2534.so vin"
    fi
    # The managers run in a subshell, so they are watched rather than waited for.
    if [ -n "$RUN_SECONDS" ]; then sleep "$RUN_SECONDS"; else
        while kill -0 "${pids[-1]}" 2>/dev/null; do sleep 1; done
    fi
    exit 0
fi

NAME=${INSTANCE:-second}
RUN=$ROOT/build/run/$NAME
mkdir -p "$RUN"
export BRINDLEWICK_INSTANCE=$NAME
export BRINDLEWICK_DATA_ROOT=${BRINDLEWICK_DATA_ROOT:-$RUN/ProgramData}
export BRINDLEWICK_REGISTRY_ROOT=${BRINDLEWICK_REGISTRY_ROOT:-$RUN/registry}
export BRINDLEWICK_LOG_DIR=${BRINDLEWICK_LOG_DIR:-$RUN/logs}
mkdir -p "$BRINDLEWICK_DATA_ROOT" "$BRINDLEWICK_REGISTRY_ROOT"
# This copy's own service: the first copy's may already run, which would keep
# the manager from starting one.
export BRINDLEWICK_NO_SERVICE_START=1
export BRINDLEWICK_SHM_PREFIX=${BRINDLEWICK_SHM_PREFIX:-bw${NAME}_}
# run.sh's relay certificate comes from its own demo CA.
[ -f "$ROOT/build/run/tls/ca.pem" ] && export BRINDLEWICK_CA_FILE=${BRINDLEWICK_CA_FILE:-$ROOT/build/run/tls/ca.pem}
if [ "$WITH_ADAPTER" = 1 ]; then
    "$BIN/vci-emulator" --no-stdin --base-address 127.0.110.1 --port 7728 --control-port 7730 \
        >"$RUN/vci-emulator.log" 2>&1 & pids+=($!)
    probe=127.0.110.1; port=7728
else
    probe=127.0.101.250; port=7628 # no adapter answers there
fi
"$BIN/BrindlewickService" --probe "$probe" --port "$port" --lock "$RUN/service.lock" >"$RUN/service.out" 2>&1 &
pids+=($!)
echo "Instance $NAME; logs in $BRINDLEWICK_LOG_DIR"
"$BIN/Brindlewick" "$@" & app=$!; pids+=($app)
if [ -n "$RUN_SECONDS" ]; then sleep "$RUN_SECONDS"; else wait $app; fi
