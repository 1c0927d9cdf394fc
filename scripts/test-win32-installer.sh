#!/bin/bash
# The Windows installer under wine32 in a fresh prefix: refused while a
# manager holds its instance block (exit code 2, nothing installed); installed
# silently it holds exactly the program folder plus the uninstaller, the data
# folder and the uninstall entry, and no log-on entry; the silent uninstall
# (which keeps the user's data), started while the service runs as the
# manager registers it, stops the service, removes its registration, the
# program folder and the entries, and leaves the data folder.
# Usage: scripts/test-win32-installer.sh <setup.exe> <program folder it was made from>
set -e
SETUP=$(readlink -f "${1:?usage: test-win32-installer.sh <setup.exe> <program folder>}")
FOLDER=$(readlink -f "${2:?usage: test-win32-installer.sh <setup.exe> <program folder>}")
HOST=i686-w64-mingw32
WINE32=/usr/lib/wine/wine
WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)
RUN=$(mktemp -d "${TMPDIR:-/tmp}/bw-win32-installer.XXXXXX")
export WINEPREFIX=$RUN/wineprefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
HOLDER_PID=""
finish() {
    [ -n "$HOLDER_PID" ] && kill "$HOLDER_PID" 2>/dev/null
    "$WINESERVER" -k 2>/dev/null || true
    rm -rf "$RUN"
}
trap finish EXIT
fail() { echo "test-win32-installer: $*" >&2; exit 1; }
reg_has() { timeout 60 "$WINE32" reg query "$1" /v "$2" >/dev/null 2>&1; }
service_state() { timeout 60 "$WINE32" sc query BrindlewickService 2>/dev/null | sed -n 's/.*STATE *: *[0-9]* *\([A-Z_]*\).*/\1/p'; }
# A BrindlewickService.exe process of this prefix.
service_process() {
    local pid
    for pid in $(pgrep -f 'BrindlewickService\.exe'); do
        tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
    done
    return 1
}
timeout 300 "$WINE32" wineboot -i </dev/null >/dev/null 2>&1 || true
C=$WINEPREFIX/drive_c
INSTALLED="$C/Program Files/Brindlewick"
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Brindlewick'
RUN_KEY='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'

# A running manager, as the installer sees one: the named block it holds while it runs.
cat >"$RUN/holder.c" <<'EOF'
#include <windows.h>
int main(void)
{
    HANDLE block = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 1, "KestrixAppShowWindowShareMemory");
    if (!block)
        return 1;
    Sleep(120000);
    return 0;
}
EOF
$HOST-gcc-posix "$RUN/holder.c" -o "$RUN/holder.exe"
"$WINE32" "$RUN/holder.exe" & HOLDER_PID=$!
for _ in $(seq 50); do
    timeout 60 "$WINE32" tasklist 2>/dev/null | grep -qi holder.exe && break
    sleep 0.2
done
set +e
timeout 120 "$WINE32" "$SETUP" /S
STATUS=$?
set -e
[ $STATUS -eq 2 ] || fail "with a manager running the installer ended with $STATUS, not 2"
[ ! -e "$INSTALLED" ] || fail "with a manager running the installer wrote $INSTALLED"
kill "$HOLDER_PID" 2>/dev/null || true
wait "$HOLDER_PID" 2>/dev/null || true
HOLDER_PID=""
timeout 60 "$WINE32" taskkill /F /IM holder.exe >/dev/null 2>&1 || true

timeout 300 "$WINE32" "$SETUP" /S || fail "the silent install failed"
diff <(cd "$FOLDER" && find . -type f | sort) <(cd "$INSTALLED" && find . -type f ! -name Uninstall.exe | sort) \
    || fail "the installed folder differs from the program folder (above)"
[ -f "$INSTALLED/Uninstall.exe" ] || fail "no Uninstall.exe"
[ -d "$C/ProgramData/Kestrix" ] || fail "the data folder C:\\ProgramData\\Kestrix was not created"
reg_has "$UNINSTALL_KEY" UninstallString || fail "no uninstall entry"
! reg_has "$RUN_KEY" Brindlewick || fail "the log-on entry was written without being chosen"
echo "test-win32-installer: installed $(cd "$INSTALLED" && find . -type f | wc -l) files, data folder and uninstall entry"

# The service as the manager registers and starts it (its startService script).
# Each step waits for the wine session of the one before to end: a command
# that meets a session on its way out can lose its change to the service
# database.
"$WINESERVER" -w
timeout 60 "$WINE32" sc create BrindlewickService binpath= "C:\\Program Files\\Brindlewick\\BrindlewickService.exe" \
    start= auto >/dev/null 2>&1 || fail "could not register the installed service"
"$WINESERVER" -w
# A wine session that starts afresh starts the "auto" services itself, and then
# sc's own start fails as "already running": the state below is what counts.
timeout 60 "$WINE32" sc start BrindlewickService >/dev/null 2>&1 || true
for _ in $(seq 50); do [ "$(service_state)" = RUNNING ] && break; sleep 0.2; done
[ "$(service_state)" = RUNNING ] || fail "the installed service is not running (state \"$(service_state)\")"
service_process || fail "no BrindlewickService.exe process while its service runs"

echo "kept" >"$C/ProgramData/Kestrix/kept.txt"
timeout 300 "$WINE32" "$INSTALLED/Uninstall.exe" /S || fail "the silent uninstall failed"
"$WINESERVER" -w   # the uninstaller runs on as a copy of itself
[ ! -e "$INSTALLED" ] || fail "the uninstall left $(cd "$INSTALLED" && find . | head -n 5 | tr '\n' ' ')"
! reg_has "$UNINSTALL_KEY" UninstallString || fail "the uninstall left its entry"
[ -f "$C/ProgramData/Kestrix/kept.txt" ] || fail "the silent uninstall removed the user's data"
[ -z "$(service_state)" ] || fail "the uninstall left the service registered (state $(service_state))"
! service_process || fail "the uninstall left BrindlewickService.exe running"
echo "test-win32-installer: uninstalled while the service ran; the service, the program folder and the entries are gone, the user's data is kept"
