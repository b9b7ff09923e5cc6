#!/usr/bin/env bash
# GetUsers at every zoom 0-20 against 1,000,000 seeded people (127.0.0.1 only, bounded in time):
#  1. "city": everyone in 59.94 ± 0.3, 30.31 ± 1.18 (St Petersburg), queries around the city;
#  2. "world": everyone spread over latitudes ± 80 and all longitudes, queries anywhere.
# wrk -t2 -c16 for DURATION seconds (5) per zoom, pinrova-posd on 2 HTTP threads; prints the
# rate, p50, p99 and errors per zoom, the resident memory after loading and the load time.
# Environment: PEOPLE (1000000), DURATION (5), ZOOMS ("0 1 … 20"), SETS ("city world"),
# KEEP_DB (a folder to keep the seeded files in between runs), CROWDS ("0"; "0 1" runs each
# zoom without and then with &crowds=1, side by side in one run).
set -euo pipefail

# shellcheck source=SCRIPTDIR/common.sh
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

people=${PEOPLE:-1000000}
duration=${DURATION:-5}
zooms=${ZOOMS:-$(seq -s ' ' 0 20)}
sets=${SETS:-city world}
crowds=${CROWDS:-0}

bench_need_wrk 1 "zoomsweep: wrk is needed (scripts/setup installs it)"
bench_workdir posd-zoom
keep=${KEEP_DB:-$work}
mkdir -p "$keep"
bench_build pinrova-posd posd_seed

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
    bench_start_posd "$log" 120 --db "$db" --threads 2
    loaded=$(python3 -c "import time; print(f'{time.time() - $started:.1f}')")
    rss=$(rss_kib "$posd_pid")
    echo "== $set: $people people, loaded in ${loaded} s, resident $((rss / 1024)) MiB"
    echo "| zoom | crowds | requests/s | p50 | p99 | errors |"
    for zoom in $zooms; do
        for crowd in $crowds; do
            echo -n "| $zoom | $crowd "
            wrk -t2 -c16 -d"${duration}s" --latency -s "$here/zoomsweep.lua" \
                "http://127.0.0.1:$posd_port" -- "$zoom" "${box[@]}" "$crowd" | grep -E '^\| [0-9]'
        done
    done
    bench_stop "$posd_pid"
done
