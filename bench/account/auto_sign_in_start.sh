#!/bin/bash
# Start-to-window with automatic sign-in on against off, in the same run:
# registers an account at a cloud emulator of its own (the code from its
# outbox), then runs startup_bench with a configuration that remembers the
# account with "isautologin" true and one with it false, twice each, on an
# Xvfb of its own. Usage: bench/account/auto_sign_in_start.sh [build folder]
set -e
BUILD=$(cd "${1:-$(dirname "$0")/../../build}" && pwd)
B=$BUILD/bin
D=$(mktemp -d)
mkdir -p "$D/on/Brindlewick" "$D/off/Brindlewick"
"$B/cloud-emulator" --http-port 0 >"$D/cloud.log" 2>&1 & CLOUD=$!
DISPLAY_NUMBER=:$((90 + RANDOM % 9))
Xvfb "$DISPLAY_NUMBER" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 & XVFB=$!
trap 'kill $CLOUD $XVFB 2>/dev/null; rm -rf "$D"' EXIT
for _ in $(seq 50); do grep -q 'http=' "$D/cloud.log" 2>/dev/null && break; sleep 0.1; done
BASE=http://127.0.0.1:$(sed -n 's/.*http=\([0-9]*\).*/\1/p' "$D/cloud.log")
EMAIL=auto@taller.example PASSWORD=Auto-2026
curl -sf -X POST -H 'Content-Type: application/json' -d "{\"email\":\"$EMAIL\",\"existing\":false}" \
    "$BASE/api/account/email-code" >/dev/null
CODE=$(curl -sf "$BASE/__control/outbox?to=$EMAIL" | python3 -c 'import json,sys; print(json.load(sys.stdin)["messages"][-1]["code"])')
curl -sf -X POST -H 'Content-Type: application/json' \
    -d "{\"email\":\"$EMAIL\",\"password\":\"$PASSWORD\",\"code\":\"$CODE\"}" "$BASE/api/account/register" >/dev/null
for mode in on off; do
    flag=false; [ $mode = on ] && flag=true
    printf '[config]\nusername=%s\npassword=%s\nisrembered=true\nisautologin=%s\n' "$EMAIL" "$PASSWORD" $flag \
        >"$D/$mode/Brindlewick/UserConfig.ini"
    chmod 600 "$D/$mode/Brindlewick/UserConfig.ini"
done
export DISPLAY=$DISPLAY_NUMBER BRINDLEWICK_MAIN_API_BASE=$BASE/
sleep 1
for round in 1 2; do
    for mode in off on; do
        printf 'automatic sign-in %-3s: ' $mode
        BW_BENCH_CONFIG_SEED=$D/$mode "$BUILD/bench/app/startup_bench" "$B/Brindlewick" "$BUILD/bench/app/bare_window" 5 1 \
            | grep 'median start-to-window'
    done
done
