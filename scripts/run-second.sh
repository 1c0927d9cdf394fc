#!/bin/bash
# Starts a second manager beside the one scripts/run.sh runs, as instance
# "second" (its own shared-memory prefix, service, data, registry, logs and
# program-folder files), so the two can hold a remote session with each other
# on one machine. By default the second copy has no adapter of its own (a
# B-end); WITH_ADAPTER=1 gives it one from a second adapter emulator on
# 127.0.101.1 (port 7728, control port 7730).
# Uses the display of the first copy ($DISPLAY, else :77 as run.sh's Xvfb).
# INSTANCE=name picks another instance name; RUN_SECONDS=N ends it after N s.
set -e
cd "$(dirname "$0")/.."
ROOT=$PWD
BIN=$ROOT/build/bin
NAME=${INSTANCE:-second}
RUN=$ROOT/build/run/$NAME
mkdir -p "$RUN"
[ -x "$BIN/Brindlewick" ] || { echo "build first: scripts/build.sh" >&2; exit 1; }

export BRINDLEWICK_INSTANCE=$NAME
export BRINDLEWICK_DATA_ROOT=${BRINDLEWICK_DATA_ROOT:-$RUN/ProgramData}
export BRINDLEWICK_REGISTRY_ROOT=${BRINDLEWICK_REGISTRY_ROOT:-$RUN/registry}
export BRINDLEWICK_LOG_DIR=${BRINDLEWICK_LOG_DIR:-$RUN/logs}
export DISPLAY=${DISPLAY:-:77}
mkdir -p "$BRINDLEWICK_DATA_ROOT" "$BRINDLEWICK_REGISTRY_ROOT"

pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    # The service this copy started carries this instance's prefix in its environment.
    for p in $(pgrep -x BrindlewickService); do
        if tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "BRINDLEWICK_INSTANCE=$NAME"; then
            kill "$p" 2>/dev/null || true
        fi
    done
}
trap cleanup EXIT

if [ "$WITH_ADAPTER" = 1 ]; then
    "$BIN/vci-emulator" --no-stdin --base-address 127.0.101.1 --port 7728 --control-port 7730 \
        >"$RUN/vci-emulator.log" 2>&1 & pids+=($!)
    export BRINDLEWICK_PROBE=127.0.101.1 BRINDLEWICK_MT7628_PORT=7728
else
    # An address where no adapter answers.
    export BRINDLEWICK_PROBE=127.0.101.250
fi
echo "Instance $NAME; logs in $BRINDLEWICK_LOG_DIR"
"$BIN/Brindlewick" "$@" & app=$!; pids+=($app)
if [ -n "$RUN_SECONDS" ]; then sleep "$RUN_SECONDS"; else wait $app; fi
