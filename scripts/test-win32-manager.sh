#!/bin/bash
# Smoke test of the 32-bit Windows manager under wine32 and Xvfb, against the
# Linux emulators of the native build. The installer made from the program
# folder of scripts/build-win32-manager.sh installs it into a fresh wine
# prefix (the folder itself is run when makensis is missing); the installed
# manager starts, starts its service, and its device page shows the emulated
# adapter; "Update all" on the firmware page writes the three images into the
# emulated adapter and sees it come back; the Wi-Fi page joins the adapter to
# a network; the drivers page installs a make's package; the settings page switches the
# language (restart) and the tray menu's "Exit" ends it. Each step is read
# from the manager's log, screenshots kept. Then a copy of the folder without
# Qt5Svg.dll must fail to start with the loader's message naming it, and the
# installer is checked on its own (scripts/test-win32-installer.sh).
# Runs only when Qt for mingw is in its cache (scripts/win32-qt.sh); says so
# otherwise. BUILD_DIR: the native tree (emulators); BUILD_DIR_WIN32_QT: the
# Win32 manager's tree (default build-win32-qt).
set -e
cd "$(dirname "$0")/.."
ROOT=$PWD
if ! CACHE=$(scripts/win32-qt.sh --cached); then
    echo "Win32 manager not tested: no Qt for mingw cache at $CACHE; build it with scripts/win32-qt.sh"
    exit 0
fi
WINE32=/usr/lib/wine/wine
if [ ! -x "$WINE32" ] || ! command -v xvfb-run >/dev/null; then
    echo "Win32 manager not tested: wine32 or xvfb-run is missing (scripts/win32-deps.sh installs wine32; xvfb)"
    exit 0
fi
W=${BUILD_DIR_WIN32_QT:-$ROOT/build-win32-qt}
scripts/build-win32-manager.sh
W=$(cd "$W" && pwd)
P=$W/Brindlewick
# A console program would open a console window beside the manager whenever it
# starts without one (Start menu, log-on, its own restart).
if ! i686-w64-mingw32-objdump -p "$P/Brindlewick.exe" | grep -q "Subsystem.*Windows GUI"; then
    echo "test-win32-manager: Brindlewick.exe is not a Windows GUI program" >&2
    exit 1
fi
NATIVE=${BUILD_DIR:-$ROOT/build}
case "$NATIVE" in /*) ;; *) NATIVE=$ROOT/$NATIVE ;; esac
for tool in vci-emulator cloud-emulator; do
    [ -x "$NATIVE/bin/$tool" ] || { echo "test-win32-manager: $NATIVE/bin/$tool is missing (build the native tree first)" >&2; exit 1; }
done

RUN=$(mktemp -d "${TMPDIR:-/tmp}/bw-win32-manager.XXXXXX")
export WINEPREFIX=$RUN/wineprefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)
PIDS=""
finish() {
    for pid in $PIDS; do kill "$pid" 2>/dev/null || true; done
    "$WINESERVER" -k 2>/dev/null || true
    # The run's folder goes; the screenshot and the logs stay in the build tree.
    rm -rf "$RUN"
}
trap finish EXIT
. "$ROOT/scripts/output-waits.sh"
# One emulated adapter on an address of its own; the service asks only there.
ADAPTER_BASE=127.0.115.1
"$NATIVE/bin/vci-emulator" --adapters 1 --base-address $ADAPTER_BASE --port 0 --control-port 0 \
    --passthru-port 0 --no-stdin >"$W/vci-emulator.out" 2>&1 &
PIDS="$PIDS $!"
VCI_LINE=$(first_line "$W/vci-emulator.out") || { echo "test-win32-manager: vci-emulator did not start" >&2; exit 1; }
export BRINDLEWICK_PROBE=$ADAPTER_BASE
export BRINDLEWICK_MT7628_PORT=$(echo "$VCI_LINE" | sed -n 's/.*protocol port \([0-9]*\).*/\1/p')
# The servers are constants of the build (127.0.0.1:18080 and beside it): the
# cloud emulator runs there when the port is free, else the run goes on without.
# It also answers HTTPS with a certificate of a test CA made for the run, for
# "localhost" (wine matches a certificate's names, not its IP addresses); the
# manager's main API base points there, so the version check, the account,
# the firmware versions (WinHTTP) and the drivers catalogue (Qt) go over TLS.
TLS=$RUN/tls
"$ROOT/scripts/test-ca.sh" "$TLS" "Brindlewick Win32 manager test CA"
QT_QPA_PLATFORM=offscreen "$NATIVE/bin/cloud-emulator" --https-port 0 --cert "$TLS/server.pem" --key "$TLS/server.key" \
    >"$W/cloud-emulator.out" 2>&1 &
PIDS="$PIDS $!"
CLOUD_LINE=$(first_line "$W/cloud-emulator.out") || CLOUD_LINE=""
HTTPS_PORT=$(echo "$CLOUD_LINE" | sed -n 's/.*https=\([0-9]*\).*/\1/p')

LOGS=$W/smoke-logs
rm -rf "$LOGS" && mkdir -p "$LOGS"
export BRINDLEWICK_LOG_DIR="Z:$LOGS"
echo "test-win32-manager: creating a wine prefix in $WINEPREFIX"
timeout 300 "$WINE32" wineboot -i </dev/null >/dev/null 2>&1 || true
# The service runs as a Windows service: its environment is the system's (the
# Session Manager's key), not the manager's, so the run's settings go there, as
# an administrator would set them on Windows.
SYSTEM_ENV='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
for name in BRINDLEWICK_PROBE BRINDLEWICK_MT7628_PORT BRINDLEWICK_LOG_DIR; do
    "$WINE32" reg add "$SYSTEM_ENV" /v "$name" /d "${!name}" /f </dev/null >/dev/null 2>&1 || {
        echo "test-win32-manager: could not set $name for the service" >&2; exit 1; }
done
# The run's CA in the prefix's machine "Root" store, as an administrator would
# add a company CA (WinHTTP trusts that store; Qt reads it and
# BRINDLEWICK_CA_FILE).
if [ -n "$HTTPS_PORT" ]; then
    cat >"$TLS/trust.c" <<'EOF'
#include <windows.h>
#include <wincrypt.h>
#include <stdio.h>
int main(int argc, char** argv)
{
    static unsigned char der[16384];
    FILE* f = argc == 2 ? fopen(argv[1], "rb") : NULL;
    size_t n = f ? fread(der, 1, sizeof der, f) : 0;
    if (f)
        fclose(f);
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
    if (!n || !store || !CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der, (DWORD)n,
                            CERT_STORE_ADD_REPLACE_EXISTING, NULL))
        return 1;
    CertCloseStore(store, 0);
    return 0;
}
EOF
    i686-w64-mingw32-gcc-posix "$TLS/trust.c" -o "$TLS/trust.exe" -lcrypt32
    timeout 60 "$WINE32" "$TLS/trust.exe" "Z:$TLS/ca.der" </dev/null >/dev/null 2>&1 || {
        echo "test-win32-manager: could not add the test CA to the prefix's Root store" >&2; exit 1; }
    export BRINDLEWICK_MAIN_API_BASE="https://localhost:$HTTPS_PORT/" BRINDLEWICK_CA_FILE="Z:$TLS/ca.pem"
    echo "test-win32-manager: main API over HTTPS at localhost:$HTTPS_PORT with the run's test CA"
else
    echo "test-win32-manager: the cloud emulator did not start (port 18080 taken?); HTTPS not tested"
fi
# The prefix is made without a display: its desktop process would stay and give
# every later window of this wine session no display driver
# ("CreateWindowEx failed"), so the session ends before the manager starts.
timeout 60 "$WINESERVER" -w 2>/dev/null || "$WINESERVER" -k 2>/dev/null || true

# The manager as a technician gets it: installed by the installer.
SETUP=""
if command -v makensis >/dev/null; then
    scripts/build-win32-installer.sh
    SETUP=$(ls "$W"/Brindlewick-*-setup.exe | head -n 1)
    timeout 300 "$WINE32" "$SETUP" /S || { echo "test-win32-manager: the silent install failed" >&2; exit 1; }
    timeout 60 "$WINESERVER" -w 2>/dev/null || true
    P="$WINEPREFIX/drive_c/Program Files/Brindlewick"
    echo "test-win32-manager: installed into C:\\Program Files\\Brindlewick"
else
    echo "test-win32-manager: makensis is missing (apt-get install nsis); running the program folder, not an installed one"
fi

LOG=$LOGS/Brindlewick.log
SHOT=$W/smoke-screenshot.png
export P LOG SHOT WINE32
SHOT_EN=$W/smoke-screenshot-en.png
SHOT_FW=$W/smoke-screenshot-firmware.png
SHOT_WIFI=$W/smoke-screenshot-wifi.png
SHOT_DRIVERS=$W/smoke-screenshot-drivers.png
SHOT_EXIT=$W/smoke-screenshot-exit.png
SHOWN_AT=$RUN/shown-at
rm -f "$SHOT_EXIT"
export SHOT_EN SHOT_FW SHOT_WIFI SHOT_DRIVERS SHOT_EXIT SHOWN_AT
START=$(date +%s%N)
# Under Xvfb (1280 x 800, where wine centres the window at 190,75): the manager
# starts and the run waits for its device page to show an adapter (60 s at
# most) and takes a screenshot; then, as a technician would, it updates the
# adapter's firmware (the system image waits 150 s for the adapter's restart,
# so this step takes about three minutes), joins the adapter to a network on
# the Wi-Fi page, installs the BMW package on the drivers page, switches the
# language on the settings page (Spanish at the first start, English below it
# in the list; the confirmation restarts the manager), takes a second
# screenshot and ends the manager through the tray icon's menu ("Exit").
# Each step waits for the manager's log, so a missed click shows as a missing
# line below, not as a hang.
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    wait_log() { # pattern, count, tenths of a second
        for _ in $(seq "$3"); do
            local count
            count=$(grep -c "$1" "$LOG" 2>/dev/null)
            [ "${count:-0}" -ge "$2" ] && return 0
            sleep 0.1
        done
        return 1
    }
    "$WINE32" "$P/Brindlewick.exe" >"$LOG.out" 2>&1 &
    wait_log "device page: adapter [A-Z0-9]* shown" 1 600 || exit 0
    date +%s%N >"$SHOWN_AT"
    sleep 1
    import -window root "$SHOT" 2>/dev/null || true
    xdotool mousemove 722 514 click 1 && sleep 4                       # Firmware update (device page)
    xdotool mousemove 1012 693 click 1                                 # Update all
    wait_log "firmware: CAN image done\|firmware: [a-zA-Z]* image failed" 1 3600
    sleep 1
    import -window root "$SHOT_FW" 2>/dev/null || true
    xdotool mousemove 433 693 click 1 && sleep 1                       # Back
    xdotool mousemove 480 514 click 1                                  # Wi-Fi setup: the scan
    wait_log "router scan at" 1 300
    sleep 1
    xdotool mousemove 1010 301 click 1 && sleep 2                      # Connect: Workshop-5G
    xdotool type --delay 50 garage2024 && xdotool key Return
    wait_log "router join of \"Workshop-5G\" at .*: joined" 1 300
    sleep 1
    import -window root "$SHOT_WIFI" 2>/dev/null || true
    xdotool mousemove 433 687 click 1 && sleep 1                       # Back
    xdotool mousemove 270 272 click 1 && sleep 4                       # Drivers
    xdotool mousemove 969 315 click 1                                  # Install: BMW
    wait_log "Kestrix_BMW enabled" 1 600
    sleep 1
    import -window root "$SHOT_DRIVERS" 2>/dev/null || true
    xdotool mousemove 270 425 click 1 && sleep 2                       # Settings
    xdotool mousemove 700 500 && for _ in 1 2 3 4 5 6; do xdotool click 5; sleep 0.2; done
    sleep 1
    xdotool mousemove 1002 328 click 1 && sleep 1 && xdotool key Down Return   # the language list
    sleep 1.5
    xdotool key Return                                                  # Confirm: restart
    wait_log "main window shown" 2 600 || exit 0
    wait_log "device page: adapter [A-Z0-9]* shown" 2 300
    sleep 2
    import -window root "$SHOT_EN" 2>/dev/null || true
    # The tray menu, then "Exit"; wine'"'"'s tray sometimes drops the first click, so up to three tries.
    for _ in 1 2 3; do
        xdotool mousemove 12 31 click 3 && sleep 1.5 && xdotool mousemove 58 117 click 1
        wait_log "ended with exit code 0" 1 100 && break
    done
    wait_log "ended with exit code 0" 1 1 || import -window root "$SHOT_EXIT" 2>/dev/null || true
' || true
ELAPSED=$(( ($(cat "$SHOWN_AT" 2>/dev/null || date +%s%N) - START) / 1000000 ))
# The interface language the settings page saved, read before the session ends.
LANGUAGE=$("$WINE32" reg query 'HKCU\Software\Settings\Brindlewick' /v language 2>/dev/null | sed -n 's/.*REG_SZ *\([a-z]*\).*/\1/p')
"$WINESERVER" -k 2>/dev/null || true
if ! grep -q "main window shown" "$LOG" 2>/dev/null; then
    echo "test-win32-manager: the Win32 manager did not show its window; its log and output:" >&2
    cat "$LOG" "$LOG.out" >&2 2>/dev/null || true
    exit 1
fi
SHOWN=$(grep -o "device page: adapter [A-Z0-9]* shown" "$LOG" | head -n 1) || true
if [ -z "$SHOWN" ]; then
    echo "test-win32-manager: the device page did not show the emulated adapter; the manager's log:" >&2
    cat "$LOG" >&2
    exit 1
fi
echo "test-win32-manager: $SHOWN (${ELAPSED} ms from start; screenshot $SHOT)"
if [ -n "$HTTPS_PORT" ]; then
    if ! grep -q 'version check: program "[0-9.]*" server "V' "$LOG"; then
        echo "test-win32-manager: the version check over HTTPS (WinHTTP) got no answer; the manager's log:" >&2
        cat "$LOG" >&2
        exit 1
    fi
    echo "test-win32-manager: the version check answered over HTTPS (WinHTTP, the run's CA)"
fi
for image in system application CAN; do
    if ! grep -q "firmware: $image image done" "$LOG"; then
        echo "test-win32-manager: the firmware update did not write the $image image (screen then: $SHOT_FW); the manager's log:" >&2
        cat "$LOG" >&2
        exit 1
    fi
done
echo "test-win32-manager: the firmware update wrote the system, application and CAN images and the adapter came back (screenshot $SHOT_FW)"
if ! grep -q "router join of \"Workshop-5G\" at .*: joined" "$LOG"; then
    echo "test-win32-manager: the Wi-Fi page did not join the adapter to Workshop-5G (screen then: $SHOT_WIFI); the manager's log:" >&2
    cat "$LOG" >&2
    exit 1
fi
echo "test-win32-manager: the Wi-Fi page joined the adapter to Workshop-5G (screenshot $SHOT_WIFI)"
if ! grep -q "Kestrix_BMW installed from .* version" "$LOG" || ! grep -q "Kestrix_BMW enabled" "$LOG"; then
    echo "test-win32-manager: the drivers page did not install the BMW package (screen then: $SHOT_DRIVERS); the manager's log:" >&2
    cat "$LOG" >&2
    exit 1
fi
echo "test-win32-manager: the drivers page read the catalogue${HTTPS_PORT:+ over HTTPS (Qt, the test CA)}, downloaded, unpacked (7za.exe) and installed the BMW package (screenshot $SHOT_DRIVERS)"
if ! grep -q "ended with exit code 100" "$LOG" || [ "$(grep -c "main window shown" "$LOG")" -lt 2 ] || [ "$LANGUAGE" != en ]; then
    echo "test-win32-manager: switching the language to English did not restart the manager in English (language \"$LANGUAGE\"); its log:" >&2
    cat "$LOG" >&2
    exit 1
fi
echo "test-win32-manager: language switched to English and the manager restarted (screenshot $SHOT_EN)"
if ! grep -q "ended with exit code 0" "$LOG"; then
    echo "test-win32-manager: the tray menu's Exit did not end the manager (screen then: $SHOT_EXIT); its log:" >&2
    cat "$LOG" >&2
    exit 1
fi
echo "test-win32-manager: the tray menu's Exit ended the manager"

# A folder missing one of Qt's DLLs: Windows' loader refuses the program and names the DLL.
BROKEN=$RUN/broken
cp -a "$P" "$BROKEN"
rm "$BROKEN/Qt5Svg.dll"
set +e
WINEDEBUG=err+module timeout 60 "$WINE32" "$BROKEN/Brindlewick.exe" >"$RUN/broken.out" 2>&1
STATUS=$?
set -e
if [ $STATUS -eq 0 ] || ! grep -q "Qt5Svg.dll" "$RUN/broken.out"; then
    echo "test-win32-manager: without Qt5Svg.dll the manager did not fail naming it (exit $STATUS):" >&2
    cat "$RUN/broken.out" >&2
    exit 1
fi
echo "test-win32-manager: without Qt5Svg.dll the loader refuses it: $(grep -m1 Qt5Svg.dll "$RUN/broken.out")"

# The installer on its own: refused while a manager runs, installed,
# uninstalled while the service runs (scripts/test-win32-installer.sh).
if [ -n "$SETUP" ]; then
    scripts/test-win32-installer.sh "$SETUP" "$W/Brindlewick"
else
    echo "Win32 installer not tested: makensis is missing (apt-get install nsis)"
fi
