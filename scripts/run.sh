#!/bin/bash
# Builds what running the manager needs (the target bw_run: the programs, the
# libraries and components they load, the emulators, tools and driver packages;
# no tests or benchmarks, scripts/test.sh builds those) and starts the manager
# against the bundled emulators.
# Without a display it runs under Xvfb and saves a screenshot after a few
# seconds (path printed). RUN_SECONDS=N ends the run after N seconds.
set -e
cd "$(dirname "$0")/.."
ROOT=$PWD
scripts/deps.sh run
TARGET=bw_run scripts/build.sh
BIN=$ROOT/build/bin
export BRINDLEWICK_DATA_ROOT=${BRINDLEWICK_DATA_ROOT:-$ROOT/build/run/ProgramData}
export BRINDLEWICK_REGISTRY_ROOT=${BRINDLEWICK_REGISTRY_ROOT:-$ROOT/build/run/registry}
# The manager and the service it starts write their logs here.
export BRINDLEWICK_LOG_DIR=${BRINDLEWICK_LOG_DIR:-$ROOT/build/run/logs}
mkdir -p "$BRINDLEWICK_DATA_ROOT" "$BRINDLEWICK_REGISTRY_ROOT" "$ROOT/build/run"
echo "Logs: $BRINDLEWICK_LOG_DIR/Brindlewick.log and $BRINDLEWICK_LOG_DIR/BrindlewickService.log"

pids=()
# The manager starts BrindlewickService itself, detached; this run stops the
# service it started at the end, and no other: the service inherits this mark.
export BRINDLEWICK_RUN_MARK="run.sh-$$-$(date +%s%N)"
cleanup() {
    for p in "${pids[@]}" $(marked_manager); do kill "$p" 2>/dev/null || true; done
    for p in $(pgrep -f BrindlewickService); do
        { tr '\0' '\n' <"/proc/$p/environ"; } 2>/dev/null | grep -qxF "BRINDLEWICK_RUN_MARK=$BRINDLEWICK_RUN_MARK" \
            && kill "$p" 2>/dev/null
    done
    true
}
trap cleanup EXIT
# The manager restarts itself to switch language: a copy carrying this run's
# mark takes over, and the run goes on until the last copy has ended.
marked_manager() {
    for p in $(pgrep -f "^$BIN/Brindlewick( |$)"); do
        { tr '\0' '\n' <"/proc/$p/environ"; } 2>/dev/null | grep -qxF "BRINDLEWICK_RUN_MARK=$BRINDLEWICK_RUN_MARK" \
            && echo "$p"
    done
    true
}
wait_for_manager() {
    wait "$1" || true
    local next tries
    while true; do
        next=""
        for tries in 1 2 3; do
            next=$(marked_manager | head -n1)
            [ -n "$next" ] && break
            sleep 1
        done
        [ -z "$next" ] && return
        while kill -0 "$next" 2>/dev/null; do sleep 1; done
    done
}

# The emulators play the maker's servers and one adapter on loopback.
if [ -x "$BIN/cloud-emulator" ]; then
    "$BIN/cloud-emulator" >"$ROOT/build/run/cloud-emulator.log" 2>&1 & pids+=($!)
fi
if [ -x "$BIN/vci-emulator" ]; then
    "$BIN/vci-emulator" --no-stdin --plug 1 >"$ROOT/build/run/vci-emulator.log" 2>&1 & pids+=($!)
fi
# The remote-session relay on 127.0.0.1:11923, where the cloud emulator's
# directory sends the manager, with a certificate from a demo CA of this build
# tree that the manager (and scripts/run-second.sh) trust for this run only.
if [ -x "$BIN/remote-relay" ] && scripts/relay-cert.sh "$ROOT/build/run/tls"; then
    export BRINDLEWICK_CA_FILE=${BRINDLEWICK_CA_FILE:-$ROOT/build/run/tls/ca.pem}
    "$BIN/remote-relay" --cert "$ROOT/build/run/tls/relay.pem" --key "$ROOT/build/run/tls/relay.key" \
        --bind 127.0.0.1 >"$ROOT/build/run/remote-relay.log" 2>&1 & pids+=($!)
fi

if [ -z "$DISPLAY" ]; then
    Xvfb :77 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
    export DISPLAY=:77
    sleep 1
    "$BIN/Brindlewick" "$@" & app=$!; pids+=($app)
    sleep "${SCREENSHOT_AFTER:-4}"
    import -window root "$ROOT/build/screenshot.png" && echo "Screenshot saved to $ROOT/build/screenshot.png"
    if [ -n "$RUN_SECONDS" ]; then sleep "$RUN_SECONDS"; else wait_for_manager $app; fi
else
    "$BIN/Brindlewick" "$@" & app=$!; pids+=($app)
    if [ -n "$RUN_SECONDS" ]; then sleep "$RUN_SECONDS"; kill $app 2>/dev/null || true; else wait_for_manager $app; fi
fi
