#!/bin/bash
# The fuzz stage of CI (docs/fuzzing.md): builds the libFuzzer targets of
# fuzz/ with clang, AddressSanitizer and UndefinedBehaviorSanitizer in
# build-fuzz, replays every seed (fuzz/corpus/<target>) and every reproducer
# (fuzz/reproducers/<target>), then fuzzes each target for FUZZ_SECONDS
# (default 12), FUZZ_JOBS (default 2) at a time. Runs every step and exits
# non-zero at the end when a replay or a run broke a property; inputs found
# now are left in build-fuzz/fuzz-findings/<target>/. FUZZ_ONLY_BUILD=1 stops
# after the build (bench/fuzz-long.sh).
set -u
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD_DIR=${FUZZ_BUILD_DIR:-build-fuzz}
RUN_SECONDS=${FUZZ_SECONDS:-12}
JOBS=${FUZZ_JOBS:-2}

# clang from Debian has libFuzzer in its runtime package.
. scripts/install-missing.sh
install_missing clang libclang-rt-14-dev || exit 1

if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DBW_FUZZ=ON -DBW_BUILD_TESTS=OFF -DBW_BUILD_BENCH=OFF >/dev/null || exit 1
fi
# BW_BUILD_LOCK names a lock file that serialises builds on a shared machine.
${BW_BUILD_LOCK:+flock "$BW_BUILD_LOCK"} cmake --build "$BUILD_DIR" --target fuzz_all || exit 1

[ "${FUZZ_ONLY_BUILD:-0}" = 1 ] && exit 0

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
source "$ROOT/fuzz/targets.sh"

findings="$BUILD_DIR/fuzz-findings"
work="$BUILD_DIR/fuzz-work"
logs="$BUILD_DIR/fuzz-logs"
rm -rf "$findings" "$logs"
mkdir -p "$findings" "$work" "$logs"

# One target: replay, then fuzz from the seeds (new inputs go to the work
# folder, never into the repository). Prints one summary line.
fuzz_one() {
    local t=$1 bin="$BUILD_DIR/fuzz/$1" log="$logs/$1.log" replay=ok run=ok
    local inputs=()
    for d in "fuzz/corpus/$t" "fuzz/reproducers/$t"; do
        [ -d "$d" ] && inputs+=("$d"/*)
    done
    if [ ${#inputs[@]} -gt 0 ] && ! "$bin" $(bw_fuzz_options "$t") "${inputs[@]}" >"$log.replay" 2>&1; then
        replay=FAILED
    fi
    mkdir -p "$work/$t" "$findings/$t"
    if ! "$bin" $(bw_fuzz_options "$t") -max_total_time="$RUN_SECONDS" -print_final_stats=1 \
        -artifact_prefix="$findings/$t/" "$work/$t" "fuzz/corpus/$t" >"$log" 2>&1; then
        run=FAILED
    fi
    local done_line
    done_line=$(grep -E '^#[0-9]+' "$log" | tail -1 | sed -E 's/^#([0-9]+).*cov: ([0-9]+) ft: ([0-9]+).*/\1 execs, cov \2, ft \3/')
    printf '%-26s replay %-6s run %-6s %s\n' "$t" "$replay" "$run" "$done_line"
    if [ "$replay" != ok ]; then grep -m3 -E 'property does not hold|ERROR|runtime error' "$log.replay"; fi
    if [ "$run" != ok ]; then
        grep -m3 -E 'property does not hold|ERROR|runtime error' "$log"
        ls "$findings/$t"/* 2>/dev/null
    fi
    [ "$replay" = ok ] && [ "$run" = ok ]
}
export -f fuzz_one bw_fuzz_options
export BUILD_DIR RUN_SECONDS findings work logs

echo "== Fuzzing: ${RUN_SECONDS}s per target, $JOBS at a time =="
status=0
# The runs keep every core busy: they take their turn through the build lock too.
printf '%s\n' $BW_FUZZ_TARGETS | ${BW_BUILD_LOCK:+flock "$BW_BUILD_LOCK"} xargs -P "$JOBS" -I{} bash -c 'fuzz_one {}' || status=1
if [ $status -ne 0 ]; then
    echo "Fuzzing found inputs that break a property (logs in $logs, inputs in $findings)."
    echo "Fix the fault, then keep each input as fuzz/reproducers/<target>/<what-it-shows>."
fi
exit $status
