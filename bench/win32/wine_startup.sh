#!/bin/bash
# Start-to-window, idle CPU and memory of the 32-bit Windows manager under
# wine32, beside a bare Win32 Qt window of the same size (bench/app/BareWindow.cpp
# built with the same Qt for mingw), measured by the native startup_bench on
# one Xvfb and one wine session (kept running, so wine's own start is not
# counted). The manager does not start its service here, as in the native
# benchmark. Needs the Windows program folder (scripts/build-win32-manager.sh)
# and the native build's startup_bench (BUILD_DIR, default build/).
#   bench/win32/wine_startup.sh [runs=5] [idle-seconds=30]
set -e
cd "$(dirname "$0")/../.."
ROOT=$PWD
RUNS=${1:-5}
IDLE=${2:-30}
HOST=i686-w64-mingw32
QT=$(scripts/win32-qt.sh --cached) || { echo "wine_startup: no Qt for mingw cache ($QT); run scripts/build-win32-manager.sh" >&2; exit 2; }
W=${BUILD_DIR_WIN32_QT:-$ROOT/build-win32-qt}
P=$W/Brindlewick
BENCH=${BUILD_DIR:-$ROOT/build}/bench/app/startup_bench
[ -x "$P/Brindlewick.exe" ] || { echo "wine_startup: no $P/Brindlewick.exe (scripts/build-win32-manager.sh)" >&2; exit 2; }
[ -x "$BENCH" ] || { echo "wine_startup: no $BENCH (scripts/build.sh)" >&2; exit 2; }
WINE32=/usr/lib/wine/wine
WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)

# The bare window, beside the same Qt DLLs and platform plugin.
BARE=$W/bench-bare
mkdir -p "$BARE/platforms"
if [ ! -f "$BARE/bare_window.exe" ] || [ bench/app/BareWindow.cpp -nt "$BARE/bare_window.exe" ]; then
    $HOST-g++-posix -std=c++17 -O2 -w -mwindows bench/app/BareWindow.cpp -o "$BARE/bare_window.exe" \
        -I"$QT/include" -I"$QT/include/QtCore" -I"$QT/include/QtGui" -I"$QT/include/QtWidgets" \
        -L"$QT/lib" -lQt5Widgets -lQt5Gui -lQt5Core
fi
cp -u "$P"/Qt5Core.dll "$P"/Qt5Gui.dll "$P"/Qt5Widgets.dll "$P"/lib*.dll "$BARE/"
cp -u "$P/platforms/qwindows.dll" "$BARE/platforms/"

RUN=$(mktemp -d "${TMPDIR:-/tmp}/bw-wine-startup.XXXXXX")
export WINEPREFIX=$RUN/wineprefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap '"$WINESERVER" -k 2>/dev/null || true; rm -rf "$RUN"' EXIT
timeout 300 "$WINE32" wineboot -i </dev/null >/dev/null 2>&1 || true
timeout 60 "$WINESERVER" -w 2>/dev/null || "$WINESERVER" -k 2>/dev/null || true
# startup_bench gives each start POSIX folders of its own; a Windows program
# keeps its settings in the prefix, as an installed one does.
for name in manager:"$P/Brindlewick.exe" bare:"$BARE/bare_window.exe"; do
    cat >"$RUN/${name%%:*}.sh" <<WRAP
#!/bin/sh
unset BRINDLEWICK_DATA_ROOT BRINDLEWICK_REGISTRY_ROOT
exec "$WINE32" "${name#*:}"
WRAP
    chmod +x "$RUN/${name%%:*}.sh"
done
export RUN BENCH RUNS IDLE WINESERVER WINE32
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    "$WINESERVER" -p
    # One start of each first: the first start of a wine session loads its services.
    timeout 20 "$RUN/bare.sh" & sleep 8; kill %1 2>/dev/null; wait 2>/dev/null
    "$BENCH" "$RUN/manager.sh" "$RUN/bare.sh" "$RUNS" "$IDLE"
'
