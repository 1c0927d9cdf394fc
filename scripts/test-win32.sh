#!/bin/bash
# Cross-compiles the platform layer and its tests for Windows and runs them
# under wine64 with a private WINEPREFIX.
set -e
cd "$(dirname "$0")/.."
ROOT=$PWD
W=$ROOT/build-win32
cmake -S . -B "$W" -G Ninja -DCMAKE_TOOLCHAIN_FILE=$ROOT/cmake/mingw-w64-x86_64.cmake \
      -DBW_PLATFORM_ONLY=ON -DBW_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Release $CMAKE_ARGS_WIN32 >/dev/null
cmake --build "$W" --parallel "$(nproc)"
export WINEPREFIX=$W/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
wineserver -p
trap 'wineserver -k || true' EXIT
( cd "$W" && ctest --output-on-failure --timeout 300 )
