#!/bin/sh
# Configures and builds into ${BUILD_DIR:-build}. Extra CMake arguments pass through.
# TARGET: what to build (default all; scripts/run.sh builds bw_run, what a run needs).
# BUILD_TYPE: a new build folder gets Release unless this names another type (it
# compiles and links about a quarter faster than RelWithDebInfo, the tests run the
# same either way); an existing folder keeps its type unless BUILD_TYPE is set.
# JOBS: parallel compiles, by default one per core and at most one per GB of
# available memory (a compile of the Qt sources needs up to about 1 GB).
# BW_BUILD_LOCK names a lock file that serialises builds on a shared machine (CI).
set -e
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
if [ -n "$BUILD_TYPE" ] || ! grep -q '^CMAKE_BUILD_TYPE:STRING=.' "$BUILD_DIR/CMakeCache.txt" 2>/dev/null; then
    set -- -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" "$@"
fi
if [ -z "$JOBS" ]; then
    JOBS=$(nproc)
    mem=$(awk '/^MemAvailable:/ { print int($2 / 1048576) }' /proc/meminfo 2>/dev/null)
    if [ -n "$mem" ] && [ "$mem" -lt "$JOBS" ]; then JOBS=$mem; fi
    if [ "$JOBS" -lt 1 ]; then JOBS=1; fi
fi
cmake -S . -B "$BUILD_DIR" -G Ninja "$@" >/dev/null
${BW_BUILD_LOCK:+flock "$BW_BUILD_LOCK"} cmake --build "$BUILD_DIR" --parallel "$JOBS" ${TARGET:+--target "$TARGET"}
