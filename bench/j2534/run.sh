#!/bin/bash
# Builds the vehicle-link benchmark and what it runs (adapter emulator,
# background service, J2534 library) in Release, then measures and prints
# every figure against its goal. Usage: bench/j2534/run.sh [build folder]
# [bench_j2534_link options, e.g. --only ab --idle-seconds 60]
# The build folder defaults to build-release next to the sources; ccache is
# used when /work/ccache.env or ccache is there.
set -e
SRC=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${1:-$SRC/build-release}
shift || true
[ -f /work/ccache.env ] && . /work/ccache.env
LAUNCHER=()
command -v ccache >/dev/null && LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release "${LAUNCHER[@]}" >/dev/null
fi
cmake --build "$BUILD" --target bench_j2534_link vci-emulator BrindlewickService BrindlewickJ2534 -j"${JOBS:-2}"
echo "== $(date -u '+%F %T UTC'), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
exec "$BUILD/bin/bench_j2534_link" "$@"
