#!/usr/bin/env bash
# Retention under churn (127.0.0.1 only, bounded in time): pinrova-posd with a retention of
# RETAIN_DAYS (0.0002 days, 17.3 s) takes Registers of new anonymous people from wrk -c8 for
# DURATION seconds (120); its resident memory and people count are sampled every 5 s. Once
# the window is full, people are deleted as fast as they come and memory stays flat.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
here="$root/bench/server"
build=${PINROVA_BUILD_DIR:-$root/build}
duration=${DURATION:-120}
retain=${RETAIN_DAYS:-0.0002}

command -v wrk >/dev/null || { echo "churn.sh: wrk is needed (scripts/setup installs it)" >&2; exit 1; }
work=$(mktemp -d /tmp/posd-churn.XXXXXX)
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
cmake --build "$build" --target pinrova-posd >/dev/null
"$build/server/pinrova-posd" --listen 127.0.0.1:0 --db "$work/churn.db" --threads 2 \
    --retain-days "$retain" 2>"$work/posd.log" &
pid=$!
port=
for _ in $(seq 100); do
    port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/posd.log")
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || { echo "pinrova-posd did not start" >&2; cat "$work/posd.log" >&2; exit 1; }
metric() { curl -s "http://127.0.0.1:$port/metrics" | awk -v n="$1" '$1 == n {print $2}'; }

echo "== churn: Registers of new people for ${duration}s, retention $retain days"
wrk -t1 -c8 -d"${duration}s" -s "$here/register.lua" "http://127.0.0.1:$port" >"$work/wrk.out" &
loader=$!
echo "seconds | resident MiB | people | swept | file MiB"
for ((t = 0; t <= duration; t += 5)); do
    rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
    size=$(du -cm "$work"/churn.db* | awk 'END {print $1}')
    echo "$t | $((rss / 1024)) | $(metric pinrova_people) | $(metric pinrova_people_swept_total) | $size"
    sleep 5
done
wait "$loader"
grep '^register:' "$work/wrk.out"
