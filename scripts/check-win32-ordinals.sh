#!/bin/bash
# Checks the ordinals the session libraries keep on Windows: ServerRemote.dll
# lookup, connect, destroy and ClientRemote.dll relay address, connect,
# destroy as ordinals 1, 2 and 3.
# Usage: scripts/check-win32-ordinals.sh <bin folder> <objdump of the tool chain>
set -e
BIN=${1:?usage: check-win32-ordinals.sh <bin folder> <objdump>}
OBJDUMP=${2:?usage: check-win32-ordinals.sh <bin folder> <objdump>}
status=0
# "ordinal name" lines from the export table (the name table's index plus the ordinal base).
exports() {
    "$OBJDUMP" -p "$1" | awk '
        /Ordinal Base/ { base = $NF }
        /\[Ordinal\/Name Pointer\] Table/ { names = 1; next }
        names && /^\t\[ *[0-9]+\] / { line = $0; sub(/^\t\[ */, "", line); split(line, f, /\] /); print f[1] + base, f[2]; next }
        names { names = 0 }'
}
for entry in "ServerRemote 1 ServerRemote_Lookup" "ServerRemote 2 ServerRemote_Connect" "ServerRemote 3 ServerRemote_Destroy" \
            "ClientRemote 1 ClientRemote_RelayAddress" "ClientRemote 2 ClientRemote_Connect" "ClientRemote 3 ClientRemote_Destroy"; do
    set -- $entry
    if ! exports "$BIN/$1.dll" | grep -qx "$2 $3"; then
        echo "check-win32-ordinals: $1.dll ordinal $2 is not $3 ($(exports "$BIN/$1.dll" | grep "^$2 " || echo none))" >&2
        status=1
    fi
done
[ $status -eq 0 ] && echo "check-win32-ordinals: ServerRemote.dll and ClientRemote.dll keep ordinals 1 to 3"
exit $status
