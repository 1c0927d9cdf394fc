#!/bin/sh
# Runs a test program inside its own session bus with a gnome-keyring whose
# files live in a temporary folder removed afterwards.
#
#   keyring-session.sh STATE PROGRAM [ARGS...]
#
# STATE is what the program finds on the bus:
#   unlocked  the login collection exists and is unlocked (a desktop after log-in)
#   nologin   a secret service without a login collection (a keyring never set up)
#   locked    the login collection exists and is locked
#
# The program starts only once the keyring started here owns
# org.freedesktop.secrets and its collection is in the asked state. Asking
# earlier makes D-Bus activate a second daemon, which has no login collection
# and cannot prompt without a display.
# The program learns the state from BW_KEYRING_SESSION.
state=$1
shift
[ -n "$DBUS_SESSION_BUS_ADDRESS" ] || { echo "keyring-session.sh: run it under dbus-run-session" >&2; exit 2; }

dir=$(mktemp -d) || exit 2
trap 'rm -rf "$dir"' EXIT
export XDG_DATA_HOME="$dir" XDG_RUNTIME_DIR="$dir"
export BW_KEYRING_SESSION="$state"

bus() { dbus-send --session --print-reply "$@" 2>/dev/null; }
owned() {
    bus --dest=org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner \
        string:org.freedesktop.secrets | grep -q 'boolean true'
}
# Prints "true", "false", or nothing when the login collection does not exist.
loginLocked() {
    bus --dest=org.freedesktop.secrets /org/freedesktop/secrets/collection/login \
        org.freedesktop.DBus.Properties.Get string:org.freedesktop.Secret.Collection string:Locked |
        sed -n 's/.*boolean \(true\|false\).*/\1/p'
}
# Polls (at most 30 s, for loaded machines) until "$@" succeeds.
waitFor() {
    n=0
    until "$@"; do
        n=$((n + 1))
        if [ $n -gt 600 ]; then
            echo "keyring-session.sh: the keyring did not reach the state '$state' within 30 s" >&2
            exit 2
        fi
        sleep 0.05
    done
}
isUnlocked() { owned && [ "$(loginLocked)" = false ]; }
isLocked() { owned && [ "$(loginLocked)" = true ]; }
hasNoLogin() { owned && [ -z "$(loginLocked)" ]; }

case $state in
unlocked | locked)
    printf x | gnome-keyring-daemon --unlock --components=secrets >/dev/null || exit 2
    waitFor isUnlocked
    if [ "$state" = locked ]; then
        bus --dest=org.freedesktop.secrets /org/freedesktop/secrets org.freedesktop.Secret.Service.Lock \
            array:objpath:/org/freedesktop/secrets/collection/login >/dev/null
        waitFor isLocked
    fi
    ;;
nologin)
    gnome-keyring-daemon --start --foreground --components=secrets >/dev/null 2>&1 &
    waitFor owned
    waitFor hasNoLogin
    ;;
*)
    echo "keyring-session.sh: unknown state '$state'" >&2
    exit 2
    ;;
esac

"$@"
