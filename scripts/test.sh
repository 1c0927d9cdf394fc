#!/bin/bash
# Builds everything and runs every test: the native suite with ctest, then the
# Qt-free libraries and programs cross-compiled with mingw-w64 and run under
# wine64 against the native build's emulators (scripts/test-win32.sh).
# BUILD_DIR, and extra CMake arguments in CMAKE_ARGS, select other builds
# (CI uses them for the -Werror and the sanitizer runs); CTEST_JOBS the tests run at once.
set -e
cd "$(dirname "$0")/.."
ROOT=$PWD
# Each step says how long it took, so a slow step shows in CI's log.
step() {
    local name=$1 start=$SECONDS
    shift
    "$@" || { echo "test: $name failed after $((SECONDS - start)) s" >&2; return 1; }
    echo "test: $name took $((SECONDS - start)) s"
}
BUILD_DIR=${BUILD_DIR:-build}
step "packages" scripts/deps.sh
step "native build" env BUILD_DIR="$BUILD_DIR" scripts/build.sh $CMAKE_ARGS
# The suite mostly waits (on sockets, timers and the processes it starts): a
# whole run uses about a sixth of the cores it is given, so two tests per core.
CTEST_JOBS=${CTEST_JOBS:-$((2 * $(nproc)))}
# A test that fails is run once more, alone, after the others: on a loaded
# two-core machine a test of network timing can miss a deadline once. Both
# runs stay in the log, and the step says which tests needed the second run;
# a test that fails again fails the step.
native_tests() {
    step "native tests" bash -c "cd '$BUILD_DIR' && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$CTEST_JOBS --timeout 300" \
        && return
    local failed
    failed=$(sed -n 's/^[0-9]*://p' "$BUILD_DIR/Testing/Temporary/LastTestsFailed.log" 2>/dev/null | tr '\n' ' ')
    step "native tests that failed once (${failed% }), run again alone" bash -c \
        "cd '$BUILD_DIR' && QT_QPA_PLATFORM=offscreen ctest --rerun-failed --output-on-failure -j1 --timeout 300"
}
if [ "${SKIP_WINE:-0}" = 1 ]; then
    native_tests
    exit
fi

# The Win32 packages, trees and wine prefix need nothing of the native tests:
# they are made at the scheduler's idle priority while those tests run, so they
# use only the processor time the tests leave (the tests keep their timing).
# Without root, and with a sudo that would ask for a password, they are made
# afterwards instead, where the question can be answered.
win32_log=$BUILD_DIR/win32-build.log
kill_tree() {
    local child
    for child in $(pgrep -P "$1"); do kill_tree "$child"; done
    kill "$1" 2>/dev/null || true
}
if [ "$(id -u)" -eq 0 ] || sudo -n true 2>/dev/null; then
    start=$SECONDS
    scripts/idle-priority.sh scripts/test-win32.sh build >"$win32_log" 2>&1 &
    win32_build=$!
    trap 'kill_tree $win32_build' EXIT
    native_tests # on a failure the trap stops the Win32 build
    win32_status=0
    wait $win32_build || win32_status=$?
    trap - EXIT
    cat "$win32_log"
    if [ $win32_status -ne 0 ]; then
        echo "test: Win32 build failed after $((SECONDS - start)) s" >&2
        exit 1
    fi
    echo "test: Win32 build (beside the native tests) took $((SECONDS - start)) s"
else
    native_tests
    step "Win32 build" scripts/test-win32.sh build
fi
step "Win32 tests" scripts/test-win32.sh test
