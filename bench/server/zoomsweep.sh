#!/usr/bin/env bash
# GetUsers at every zoom 0-20 against 1,000,000 seeded people (127.0.0.1 only, bounded in time):
#  1. "city": everyone in 59.94 ± 0.3, 30.31 ± 1.18 (St Petersburg), queries around the city;
#  2. "world": everyone spread over latitudes ± 80 and all longitudes, queries anywhere.
# wrk -t2 -c16 for DURATION seconds (5) per zoom, pinrova-posd on 2 HTTP threads; prints the
# rate, p50, p99 and errors per zoom, the resident memory after loading and the load time.
# Environment: PEOPLE (1000000), DURATION (5), ZOOMS ("0 1 … 20"), SETS ("city world"),
# KEEP_DB (a folder to keep the seeded files in between runs).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
here="$root/bench/server"
build=${PINROVA_BUILD_DIR:-$root/build}
people=${PEOPLE:-1000000}
duration=${DURATION:-5}
zooms=${ZOOMS:-$(seq -s ' ' 0 20)}
sets=${SETS:-city world}

command -v wrk >/dev/null || { echo "zoomsweep: wrk is needed (scripts/setup installs it)" >&2; exit 1; }
work=$(mktemp -d /tmp/posd-zoom.XXXXXX)
keep=${KEEP_DB:-$work}
mkdir -p "$keep"
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

cmake --build "$build" --target pinrova-posd posd_seed >/dev/null
posd="$build/server/pinrova-posd"

for set in $sets; do
    case $set in
        city) box=(59.94 30.31 0.3 1.18) ;;
        world) box=(0 0 80 180) ;;
        *) echo "zoomsweep: unknown set $set" >&2; exit 2 ;;
    esac
    db="$keep/$set-$people.db"
    [ -f "$db" ] || "$build/bench/server/posd_seed" "$db" "$people" "${box[@]}" >/dev/null
    log="$work/$set.log"
    started=$(date +%s.%N)
    "$posd" --listen 127.0.0.1:0 --db "$db" --threads 2 2>"$log" &
    pid=$!
    port=
    for _ in $(seq 1200); do
        port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$log")
        [ -n "$port" ] && break
        sleep 0.1
    done
    [ -n "$port" ] || { echo "pinrova-posd did not start:" >&2; cat "$log" >&2; exit 1; }
    loaded=$(python3 -c "import time; print(f'{time.time() - $started:.1f}')")
    rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
    echo "== $set: $people people, loaded in ${loaded} s, resident $((rss / 1024)) MiB"
    echo "| zoom | requests/s | p50 | p99 | errors |"
    for zoom in $zooms; do
        echo -n "| $zoom "
        wrk -t2 -c16 -d"${duration}s" --latency -s "$here/zoomsweep.lua" "http://127.0.0.1:$port" \
            -- "$zoom" "${box[@]}" | grep -E '^\| [0-9]'
    done
    kill "$pid"
    wait "$pid" || true
    pid=
done
