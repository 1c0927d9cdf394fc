#!/bin/bash
# The ThreadSanitizer stage of CI (docs/fuzzing.md): builds the tests that run
# threads (and the programs they start) with -fsanitize=thread in build-tsan
# and runs them. Every process writes its reports into build-tsan/tsan-reports;
# a report fails the stage even when the test itself passed. Qt from Debian is
# not instrumented: accesses made inside its libraries are not checked
# (ignore_noninstrumented_modules), and the few reports left that lie wholly
# in Qt's own code paths are suppressed in scripts/tsan.supp, each with its reason.
# Usage: scripts/tsan.sh [build|test]: only the build, only the tests; no argument, both.
set -u
cd "$(dirname "$0")/.."
ROOT=$PWD
PHASE=${1:-all}
case "$PHASE" in build | test | all) ;; *) echo "usage: $0 [build|test]" >&2; exit 2 ;; esac
BUILD_DIR=${TSAN_BUILD_DIR:-build-tsan}
TESTS="tst_app_status_thread tst_app_kestrix_device_link
 tst_appkit_core
 tst_device_blocks tst_device_link_drivers tst_device_loops
 tst_device_pages tst_device_link_integration
 tst_vcilink_protocol tst_vcilink_service_core tst_vcilink_emulator tst_vcilink_mt7628_config tst_vcilink_service
 tst_update_chv_http tst_update_chv_http_net tst_cloud_firmware tst_maintenance_router_setup
 platform_NamedEventTest platform_SharedMemoryTest
 tst_remote_engine tst_remote_tunnel tst_settings_core tst_ads_feed
 tst_account_pages tst_account_cloud tst_account_keyring
 tst_vehicle_bus tst_vehicle_isotp tst_vehicle_ecu
 tst_j2534_library tst_j2534_emulator tst_vcilink_passthru_session tst_vcilink_passthru
 tst_vehdiag_comm tst_diagnosis_updates tst_remote_control_library tst_remote_control_bridge_e2e tst_remote_control_managers"

if [ "$PHASE" != test ]; then
    # -O1: ThreadSanitizer finds the same races at -O1 as at -O2, and the tree
    # compiles about a fifth faster; the tests mostly wait on sockets and timers.
    cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBW_SANITIZE=thread \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g -DNDEBUG" \
        -DBW_WERROR=ON -DBW_BUILD_BENCH=OFF >/dev/null || exit 1
    # tst_logging_no_secrets runs after any selection of tests (it searches their logs).
    # BW_BUILD_LOCK names a lock file that serialises builds on a shared machine.
    ${BW_BUILD_LOCK:+flock "$BW_BUILD_LOCK"} cmake --build "$BUILD_DIR" --target $TESTS tst_logging_no_secrets || exit 1
fi
[ "$PHASE" = build ] && exit 0

reports="$ROOT/$BUILD_DIR/tsan-reports"
rm -rf "$reports"
mkdir -p "$reports"
export TSAN_OPTIONS="ignore_noninstrumented_modules=1 suppressions=$ROOT/scripts/tsan.supp log_path=$reports/tsan second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
status=0
regex="^($(echo $TESTS | tr ' ' '|'))\$"
( cd "$BUILD_DIR" && QT_QPA_PLATFORM=offscreen ctest -R "$regex" --output-on-failure -j2 --timeout 600 ) || status=1

if compgen -G "$reports/tsan.*" >/dev/null; then
    echo "ThreadSanitizer reports (full text in $reports):"
    grep -h "SUMMARY: ThreadSanitizer" "$reports"/tsan.* | sort | uniq -c
    status=1
fi
exit $status
