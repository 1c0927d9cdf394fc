#!/bin/bash
# The first run on a fresh Debian 12, apt included: a minimal Debian 12 made
# with debootstrap (once, kept in CHROOT; its making is not timed), then, timed
# from the start, `scripts/run.sh` of COMMIT (default HEAD) as root inside it:
# the packages it installs, the build, the emulators and the manager until its
# log says "main window shown". Each run starts from a fresh copy of the
# minimal system, so nothing of an earlier run is reused. Needs root (chroot,
# mounts), debootstrap and the network to Debian's mirror.
#
#   bench/first-run/fresh_debian.sh [COMMIT]      CHROOT=/var/tmp/bw-bookworm (the kept minimal system)
set -eu
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
COMMIT=$(git -C "$ROOT" rev-parse "${1:-HEAD}")
BASE=${CHROOT:-/var/tmp/bw-bookworm}
MIRROR=${MIRROR:-http://deb.debian.org/debian}
[ "$(id -u)" -eq 0 ] || { echo "fresh_debian: needs root (chroot and mounts)" >&2; exit 2; }
command -v debootstrap >/dev/null || { echo "fresh_debian: needs debootstrap (apt-get install debootstrap)" >&2; exit 2; }
if [ ! -x "$BASE/usr/bin/apt-get" ]; then
    echo "fresh_debian: making a minimal Debian 12 in $BASE (not timed)"
    debootstrap --variant=minbase bookworm "$BASE" "$MIRROR" >/dev/null
    printf 'deb %s bookworm main\ndeb %s bookworm-updates main\ndeb http://deb.debian.org/debian-security bookworm-security main\n' \
        "$MIRROR" "$MIRROR" >"$BASE/etc/apt/sources.list"
fi

RUN=$(mktemp -d /var/tmp/bw-fresh-debian.XXXXXX)
SYS=$RUN/system
mounted=()
finish() {
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[$i]}" 2>/dev/null || true; done
    rm -rf "$RUN"
}
trap finish EXIT
cp -a "$BASE" "$SYS"
cp /etc/resolv.conf "$SYS/etc/resolv.conf"
mount -t proc proc "$SYS/proc" && mounted+=("$SYS/proc")
mount --rbind /dev "$SYS/dev" && mounted+=("$SYS/dev")
mount --rbind /sys "$SYS/sys" && mounted+=("$SYS/sys")
mkdir -p "$SYS/root/src"
git -C "$ROOT" archive "$COMMIT" | tar -x -C "$SYS/root/src"

# Shared-memory names of its own (the system's /dev is the host's).
start=$(date +%s.%N)
chroot "$SYS" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    BRINDLEWICK_SHM_PREFIX=bwfresh$$_ RUN_SECONDS=8 /bin/bash -c \
    'cd /root/src && s=$(date +%s) && scripts/deps.sh run && echo "fresh_debian: packages took $(($(date +%s) - s)) s" && scripts/run.sh' \
    >"$RUN/run.out" 2>&1 &
pid=$!
shown=""
log=$SYS/root/src/build/run/logs/Brindlewick.log
while kill -0 "$pid" 2>/dev/null; do
    if [ -z "$shown" ] && grep -q "main window shown" "$log" 2>/dev/null; then
        shown=$(echo "$(date +%s.%N) - $start" | bc)
    fi
    sleep 0.5
done
wait "$pid" && status=0 || status=$?
[ -n "$shown" ] || grep -q "main window shown" "$log" 2>/dev/null || {
    echo "fresh_debian: the window was never shown (run.sh exit $status); its output:" >&2
    tail -40 "$RUN/run.out" >&2
    exit 1
}
packages=$(grep -o "packages took [0-9]* s" "$RUN/run.out" || true)
echo "fresh Debian 12, $(git -C "$ROOT" rev-parse --short "$COMMIT"): window shown at ${shown%.*} s after the start ($packages), run.sh exit $status, load average $(cut -d' ' -f1-3 /proc/loadavg)"
