#!/bin/bash
# The first run as a new user meets it: a fresh clone of COMMIT (default HEAD),
# a fresh HOME and TMPDIR, an empty compiler cache and no display, then
# `scripts/run.sh` (Xvfb, RUN_SECONDS=5). Reports the seconds until the build
# is done and until the manager logs "main window shown", the build steps run
# and the load average. Debian packages must already be installed (else the
# time includes apt). Keeps the clone in WORK (default: a new folder in /tmp,
# removed at the end unless KEEP=1).
#
#   bench/first-run/first_run.sh [COMMIT]
set -u
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
COMMIT=$(git -C "$ROOT" rev-parse "${1:-HEAD}") || exit 1
WORK=${WORK:-$(mktemp -d /tmp/bw-first-run.XXXXXX)}
SRC=$WORK/src
mkdir -p "$WORK/home" "$WORK/tmp"
git clone -q --no-checkout "$ROOT" "$SRC" && git -C "$SRC" checkout -q "$COMMIT" || exit 1

# scripts/run.sh listens on fixed ports and display :77: wait (at most 30 minutes)
# until no other run holds them.
busy() {
    ss -ltn 2>/dev/null | grep -qE '[:.](18080|7628|7629|7630|11923)\b' || [ -e /tmp/.X11-unix/X77 ]
}
for _ in $(seq 360); do busy || break; sleep 5; done
busy && { echo "first_run: ports or display :77 still in use, giving up" >&2; exit 1; }

# Shared-memory names of its own: a manager of another checkout on this
# machine would otherwise be asked to show its window instead.
export BRINDLEWICK_SHM_PREFIX=bwfirstrun$$_
log=$WORK/run.out
applog=$SRC/build/run/logs/Brindlewick.log
start=$(date +%s.%N)
env -u DISPLAY -u WAYLAND_DISPLAY -u CCACHE_DIR -u BUILD_TYPE -u JOBS -u BUILD_DIR \
    -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u XDG_CACHE_HOME HOME="$WORK/home" TMPDIR="$WORK/tmp" \
    CCACHE_DISABLE=1 RUN_SECONDS=5 bash -c '"$1"; s=$?; times >"$2"; exit $s' run "$SRC/scripts/run.sh" "$WORK/cpu" \
    >"$log" 2>&1 &
run=$!
built="" shown=""
since() { awk -v a="$1" -v b="$start" 'BEGIN { printf "%.0f", a - b }'; }
while kill -0 "$run" 2>/dev/null; do
    now=$(date +%s.%N)
    [ -z "$built" ] && grep -q '^Logs:' "$log" 2>/dev/null && built=$(since "$now")
    [ -z "$shown" ] && grep -q 'main window shown' "$applog" 2>/dev/null && shown=$(since "$now")
    sleep 0.2
done
wait "$run"
status=$?
# CPU seconds of everything run.sh waited for (the build and the run): on a
# busy machine the wall times grow, this figure hardly does.
cpu=$(awk 'NR == 2 { n = split($0, t, /[ms]+/); print int(t[1] * 60 + t[2] + t[3] * 60 + t[4]) }' "$WORK/cpu" 2>/dev/null)
# Build steps: one line per output in ninja's log, one command hash per step.
steps=$(awk '!/^#/ { print $5 }' "$SRC/build/.ninja_log" 2>/dev/null | sort -u | wc -l)
printf 'first run of %s: build done at %s s, window shown at %s s, %s build steps, %s CPU s, run.sh exit %s, load average %s\n' \
    "${COMMIT:0:10}" "${built:-?}" "${shown:-never}" "$steps" "${cpu:-?}" "$status" "$(cut -d' ' -f1-3 /proc/loadavg)"
[ -n "$shown" ] || tail -20 "$log"
[ "${KEEP:-0}" = 1 ] || rm -rf "$WORK"
# The blocks and events its run left under this run's prefix.
rm -f /dev/shm/"$BRINDLEWICK_SHM_PREFIX"*
[ -n "$shown" ]
