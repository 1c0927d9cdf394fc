#!/bin/bash
# Cross-compiles the Qt-free libraries and programs and their tests for
# Windows and runs them under wine64 with a private WINEPREFIX (created on
# first use), the integration checks against the Linux emulators of the
# native build (BUILD_DIR, default build/) on loopback.
# BUILD_DIR_WIN32 selects another build folder; CMAKE_ARGS_WIN32 adds CMake arguments.
set -e
cd "$(dirname "$0")/.."
ROOT=$PWD
W=${BUILD_DIR_WIN32:-$ROOT/build-win32}
mkdir -p "$W"
scripts/win32-deps.sh "$W" x86_64-w64-mingw32
cmake -S . -B "$W" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
      -DBW_QT=OFF -DBW_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Release $CMAKE_ARGS_WIN32 >/dev/null
cmake --build "$W" --parallel "$(nproc)"

WINE=$(sed -n 's/^BW_WINE64:FILEPATH=//p' "$W/CMakeCache.txt")
if [ -z "$WINE" ] || [ ! -x "$WINE" ]; then
    echo "test-win32: wine64 not found (install the Debian packages wine and wine64)" >&2
    exit 1
fi
WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)
export WINEPREFIX=$W/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
mkdir -p "$WINEPREFIX"
# One server for the whole run; stopped again whatever happens.
"$WINESERVER" -p 2>/dev/null || true   # an already running server is fine
trap '"$WINESERVER" -k 2>/dev/null || true' EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "test-win32: creating the wine prefix in $WINEPREFIX"
    timeout 300 "$WINE" wineboot -i </dev/null >/dev/null 2>&1 || true
fi
# Start wine's own services (services.exe, plugplay, ...) now, detached from
# any pipe: started by the first test they would keep ctest's output pipe open.
timeout 120 "$WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
( cd "$W" && ctest --output-on-failure --timeout 300 )
