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
step "native tests" bash -c "cd '$BUILD_DIR' && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$CTEST_JOBS --timeout 300"

if [ "${SKIP_WINE:-0}" != 1 ]; then
    step "Win32 build and tests" scripts/test-win32.sh
fi
