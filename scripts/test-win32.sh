#!/bin/bash
# Cross-compiles the Qt-free libraries and programs and their tests for
# Windows and runs them under wine64 with a private WINEPREFIX (created on
# first use), the integration checks against the Linux emulators of the
# native build (BUILD_DIR, default build/) on loopback.
# The same libraries and programs are also compiled for 32-bit Windows (i686)
# in BUILD_DIR_WIN32_I686 (default build-win32-i686); SKIP_I686=1 leaves that out.
# BUILD_DIR_WIN32 selects another build folder; CMAKE_ARGS_WIN32 adds CMake arguments.
# BW_BUILD_LOCK names a lock file that serialises builds on a shared machine (CI).
# At the end the Win32 manager's smoke test (scripts/test-win32-manager.sh) runs when
# Qt for mingw is in its cache.
# Usage: scripts/test-win32.sh [build|test]: "build" does only what needs no
# native emulator (the packages, both trees and the wine prefix), so that it can
# run beside the native tests; "test" the rest; no argument, both.
set -e
cd "$(dirname "$0")/.."
ROOT=$PWD
PHASE=${1:-all}
case "$PHASE" in build | test | all) ;; *) echo "usage: $0 [build|test]" >&2; exit 2 ;; esac
W=${BUILD_DIR_WIN32:-$ROOT/build-win32}
W32=${BUILD_DIR_WIN32_I686:-$ROOT/build-win32-i686}
mkdir -p "$W"
LOCK=(${BW_BUILD_LOCK:+flock "$BW_BUILD_LOCK"})
if [ "$PHASE" != test ]; then
    "${LOCK[@]}" scripts/win32-deps.sh "$W" x86_64-w64-mingw32
    cmake -S . -B "$W" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
          -DBW_QT=OFF -DBW_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Release $CMAKE_ARGS_WIN32 >/dev/null
    "${LOCK[@]}" cmake --build "$W" --parallel "$(nproc)"
    scripts/check-win32-ordinals.sh "$W/bin" x86_64-w64-mingw32-objdump
    if [ "${SKIP_I686:-0}" != 1 ]; then
        mkdir -p "$W32"
        SKIP_OPENSSL=1 "${LOCK[@]}" scripts/win32-deps.sh "$W32" i686-w64-mingw32
        cmake -S . -B "$W32" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-i686.cmake" \
              -DBW_QT=OFF -DBW_REMOTE_LINK=OFF -DBW_BUILD_TESTS=OFF -DBW_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Release $CMAKE_ARGS_WIN32 >/dev/null
        "${LOCK[@]}" cmake --build "$W32" --parallel "$(nproc)"
    fi
fi

WINE=$(sed -n 's/^BW_WINE64:FILEPATH=//p' "$W/CMakeCache.txt" 2>/dev/null)
if [ -z "$WINE" ] || [ ! -x "$WINE" ]; then
    echo "test-win32: wine64 not found (install the Debian packages wine and wine64)" >&2
    exit 1
fi
WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)
export WINEPREFIX=$W/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
mkdir -p "$WINEPREFIX"
if [ "$PHASE" != test ] && [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "test-win32: creating the wine prefix in $WINEPREFIX"
    timeout 300 "$WINE" wineboot -i </dev/null >/dev/null 2>&1 || true
    timeout 60 "$WINESERVER" -w 2>/dev/null || true
fi
[ "$PHASE" = build ] && exit 0
NATIVE=${BUILD_DIR:-build}
case "$NATIVE" in /*) ;; *) NATIVE=$ROOT/$NATIVE ;; esac
for tool in vci-emulator cloud-emulator remote-relay; do
    if [ ! -x "$NATIVE/bin/$tool" ]; then
        echo "test-win32: $NATIVE/bin/$tool is missing (build the native tree first: scripts/build.sh)" >&2
        exit 1
    fi
done
# One server for the whole run; stopped again whatever happens.
"$WINESERVER" -p 2>/dev/null || true   # an already running server is fine
EMULATORS=""
stop_all() {
    for pid in $EMULATORS; do kill "$pid" 2>/dev/null || true; done
    "$WINESERVER" -k 2>/dev/null || true
}
trap stop_all EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "test-win32: creating the wine prefix in $WINEPREFIX"
    timeout 300 "$WINE" wineboot -i </dev/null >/dev/null 2>&1 || true
fi
# Start wine's own services (services.exe, plugplay, ...) now, detached from
# any pipe: started by the first test they would keep ctest's output pipe open.
timeout 120 "$WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
# The Linux emulators the Win32 programs talk to on loopback (wine programs
# use the host's sockets), on ports picked by the system.
. "$ROOT/scripts/output-waits.sh"
ADAPTER_BASE=127.0.113.1
"$NATIVE/bin/vci-emulator" --adapters 2 --base-address $ADAPTER_BASE --port 0 --control-port 0 \
    --passthru-port 0 --reboot-ms 500 --flash-ms 200 --no-stdin >"$W/vci-emulator.out" 2>&1 &
EMULATORS="$EMULATORS $!"
# The relay of remote sessions and the cloud emulator's HTTPS port, with a
# test CA and a certificate for 127.0.0.1 and "localhost" made afresh for each
# run (the CA's key is thrown away at once; wine's WinHTTP matches a
# certificate's names, not its IP addresses).
TLS=$W/tls
rm -rf "$TLS"
"$ROOT/scripts/test-ca.sh" "$TLS" "Brindlewick Win32 test CA"
QT_QPA_PLATFORM=offscreen "$NATIVE/bin/cloud-emulator" --http-port 0 --https-port 0 --cert "$TLS/server.pem" \
    --key "$TLS/server.key" --relay 127.0.0.1 >"$W/cloud-emulator.out" 2>&1 &
EMULATORS="$EMULATORS $!"
"$NATIVE/bin/remote-relay" --cert "$TLS/server.pem" --key "$TLS/server.key" --port 0 --bind 127.0.0.1 \
    >"$W/remote-relay.out" 2>&1 &
EMULATORS="$EMULATORS $!"
VCI_LINE=$(first_line "$W/vci-emulator.out") || { echo "test-win32: vci-emulator did not start" >&2; cat "$W/vci-emulator.out" >&2; exit 1; }
CLOUD_LINE=$(first_line "$W/cloud-emulator.out") || { echo "test-win32: cloud-emulator did not start" >&2; cat "$W/cloud-emulator.out" >&2; exit 1; }
export BW_TEST_ADAPTER_BASE=$ADAPTER_BASE
export BRINDLEWICK_MT7628_PORT=$(echo "$VCI_LINE" | sed -n 's/.*protocol port \([0-9]*\).*/\1/p')
export BW_PASSTHRU_PORT=$(echo "$VCI_LINE" | sed -n 's/.*pass-thru port \([0-9]*\).*/\1/p')
export BW_TEST_VCI_CONTROL_PORT=$(echo "$VCI_LINE" | sed -n 's/.*control port \([0-9]*\).*/\1/p')
export BW_TEST_CLOUD_PORT=$(echo "$CLOUD_LINE" | sed -n 's/.*http=\([0-9]*\).*/\1/p')
export BW_TEST_CLOUD_HTTPS_PORT=$(echo "$CLOUD_LINE" | sed -n 's/.*https=\([0-9]*\).*/\1/p')
RELAY_LINE=$(listening_line "$W/remote-relay.out") || { echo "test-win32: remote-relay did not start" >&2; cat "$W/remote-relay.out" >&2; exit 1; }
export BRINDLEWICK_RELAY_PORT=${RELAY_LINE##*:}
export BRINDLEWICK_CA_FILE="Z:$TLS/ca.pem"
export BRINDLEWICK_MAIN_API_BASE="http://127.0.0.1:$BW_TEST_CLOUD_PORT/"

( cd "$W" && ctest --output-on-failure --timeout 300 )

# The 32-bit J2534 DLL as a Windows application uses it, under wine32 against
# an emulator of its own: the C ABI check, then j2534-tool's commands.
if [ "${SKIP_I686:-0}" != 1 ] && [ -x /usr/lib/wine/wine ]; then
    WINE32=/usr/lib/wine/wine
    "$NATIVE/bin/vci-emulator" --base-address 127.0.114.1 --port 0 --control-port 0 --passthru-port 0 \
        --no-stdin >"$W32/vci-emulator.out" 2>&1 &
    EMULATORS="$EMULATORS $!"
    PT_LINE=$(first_line "$W32/vci-emulator.out") || { echo "test-win32: vci-emulator did not start" >&2; exit 1; }
    ADAPTER=127.0.114.1:$(echo "$PT_LINE" | sed -n 's/.*pass-thru port \([0-9]*\).*/\1/p')
    DLL="Z:$W32/bin/BrindlewickJ2534.dll"
    echo "test-win32: BrindlewickJ2534.dll (i686) under wine32 against $ADAPTER"
    timeout 120 "$WINE32" "$W32/bin/j2534-abi-check.exe" "$DLL" "$ADAPTER"
    for cmd in info vin dtc clear "watch --rate 100 --count 3"; do
        # shellcheck disable=SC2086 # $cmd is the command and its options
        timeout 120 "$WINE32" "$W32/bin/j2534-tool.exe" --library "$DLL" --device "$ADAPTER" $cmd >"$W32/j2534-tool.out" 2>&1 \
            || { echo "test-win32: j2534-tool.exe $cmd failed" >&2; cat "$W32/j2534-tool.out" >&2; exit 1; }
    done
    grep -q "rpm" "$W32/j2534-tool.out" || { echo "test-win32: j2534-tool.exe watch showed no rpm" >&2; exit 1; }
    echo "test-win32: j2534-tool.exe info, vin, dtc, clear and watch passed"
fi

# The 32-bit manager under wine32 (start, the emulated adapter on the device
# page, a missing Qt DLL), when Qt for mingw is in its cache; otherwise it says
# that the Win32 manager was not tested. SKIP_WIN32_MANAGER=1 leaves it out.
if [ "${SKIP_WIN32_MANAGER:-0}" != 1 ]; then
    BUILD_DIR=$NATIVE scripts/test-win32-manager.sh
fi
