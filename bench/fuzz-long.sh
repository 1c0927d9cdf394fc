#!/bin/bash
# The long fuzz run (docs/fuzzing.md): every target for FUZZ_LONG_SECONDS
# (default 180), FUZZ_JOBS (default 2) at a time, in libFuzzer's fork mode so
# that a known fault does not end the search. The corpus grows in
# build-fuzz/fuzz-long/<target> from run to run; inputs that break a property
# land in build-fuzz/fuzz-long-findings/<target>/. Prints executions, coverage
# (cov: edges reached) and features (ft:) per target, and the total.
set -u
cd "$(dirname "$0")/.."
BUILD_DIR=${FUZZ_BUILD_DIR:-build-fuzz}
LONG_SECONDS=${FUZZ_LONG_SECONDS:-180}
JOBS=${FUZZ_JOBS:-2}

# Builds (and installs clang when missing) without fuzzing.
FUZZ_SECONDS=0 FUZZ_ONLY_BUILD=1 scripts/fuzz.sh || exit 1

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
source fuzz/targets.sh
out="$BUILD_DIR/fuzz-long-logs"
mkdir -p "$out"

long_one() {
    local t=$1 corpus="$BUILD_DIR/fuzz-long/$1" found="$BUILD_DIR/fuzz-long-findings/$1"
    mkdir -p "$corpus" "$found"
    "$BUILD_DIR/fuzz/$t" $(bw_fuzz_options "$t") -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
        -max_total_time="$LONG_SECONDS" -artifact_prefix="$found/" "$corpus" "fuzz/corpus/$t" >"$out/$t.log" 2>&1
    # Fork mode prints "#<executions>: cov: <n> ft: <n> ... oom/timeout/crash: a/b/c".
    local last
    last=$(grep -E '^#[0-9]+: cov:' "$out/$t.log" | tail -1)
    local execs cov ft crashes
    execs=$(sed -E 's/^#([0-9]+):.*/\1/' <<<"$last")
    cov=$(sed -E 's/.*cov: ([0-9]+).*/\1/' <<<"$last")
    ft=$(sed -E 's/.* ft: ([0-9]+).*/\1/' <<<"$last")
    crashes=$(sed -E 's/.*oom\/timeout\/crash: ([0-9\/]+).*/\1/' <<<"$last")
    printf '%-26s %12s execs  cov %6s  ft %6s  oom/timeout/crash %s\n' "$t" "${execs:-0}" "${cov:-?}" "${ft:-?}" \
        "${crashes:-?}"
}
export -f long_one bw_fuzz_options
export BUILD_DIR LONG_SECONDS out

echo "== Long fuzz run: ${LONG_SECONDS}s per target, $JOBS at a time =="
printf '%s\n' $BW_FUZZ_TARGETS | xargs -P "$JOBS" -I{} bash -c 'long_one {}' | tee "$out/summary.txt"
awk '{ s += $2 } END { printf "total %d executions\n", s }' "$out/summary.txt"
