#!/usr/bin/env bash
# The write path of pinrova-posd on loopback (127.0.0.1 only, bounded in time), PEOPLE (100,000)
# seeded people, 2 HTTP threads:
#  1. Register latency under a full SetPos load: wrk -c64 SetPos at full speed and, at the same
#     time, wrk -c4 Registers of new people, for DURATION seconds (20);
#  2. the file's write volume at PEOPLE people reporting every 3 s: 100 connections each pacing
#     its SetPos (PACE_MS, 3 ms) to about PEOPLE / 3 a second, and the bytes the service wrote
#     to storage (/proc/PID/io write_bytes) during the run, per second and per report.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
here="$root/bench/server"
build=${PINROVA_BUILD_DIR:-$root/build}
people=${PEOPLE:-100000}
duration=${DURATION:-20}
pace=${PACE_MS:-3}

command -v wrk >/dev/null || { echo "writes.sh: wrk is needed (scripts/setup installs it)" >&2; exit 1; }
work=$(mktemp -d /tmp/posd-writes.XXXXXX)
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
cmake --build "$build" --target pinrova-posd posd_seed >/dev/null
"$build/bench/server/posd_seed" "$work/people.db" "$people" 59.94 30.31 0.3 1.18 >/dev/null

start() {
    "$build/server/pinrova-posd" --listen 127.0.0.1:0 --db "$work/people.db" --threads 2 \
        2>"$work/posd.log" &
    pid=$!
    port=
    for _ in $(seq 300); do
        port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/posd.log")
        [ -n "$port" ] && return 0
        sleep 0.1
    done
    echo "pinrova-posd did not start:" >&2; cat "$work/posd.log" >&2; exit 1
}
written() { awk '/^write_bytes/ {print $2}' "/proc/$pid/io"; }
metric() { curl -s "http://127.0.0.1:$port/metrics" | awk -v n="$1" '$1 == n {print $2}'; }

start
echo "== Register beside a full SetPos load, ${duration}s"
PEOPLE=$people wrk -t1 -c64 -d"${duration}s" -s "$here/setpos.lua" "http://127.0.0.1:$port" \
    >"$work/setpos.out" &
loader=$!
wrk -t1 -c4 -d"${duration}s" --latency -s "$here/register.lua" "http://127.0.0.1:$port" \
    | grep '^register:'
wait "$loader"
echo "SetPos at the same time: $(awk '/Requests\/sec/ {printf "%d", $2}' "$work/setpos.out")/s"
echo "commits: $(metric pinrova_commit_duration_seconds_count), failed $(metric pinrova_commits_failed_total)"
kill "$pid"; wait "$pid" || true; pid=

start
echo "== $people people reporting every 3 s: 100 connections, ${pace} ms between requests, ${duration}s"
before=$(written)
stored_before=$(metric 'pinrova_requests_total{kind="setpos",status="200"}')
PEOPLE=$people PACE_MS=$pace wrk -t1 -c100 -d"${duration}s" -s "$here/setpos.lua" \
    "http://127.0.0.1:$port" >"$work/paced.out"
sleep 1 # the last interval's positions reach the file
after=$(written)
stored=$(( $(metric 'pinrova_requests_total{kind="setpos",status="200"}') - stored_before ))
python3 - "$before" "$after" "$stored" "$duration" <<'PY'
import sys
before, after, stored, duration = (int(x) for x in sys.argv[1:])
bytes_ = after - before
print(f"SetPos stored: {stored} ({stored / duration:.0f}/s); written to storage: "
      f"{bytes_ / 2**20:.1f} MiB, {bytes_ / duration / 2**20:.2f} MiB/s, "
      f"{bytes_ / max(stored, 1):.0f} bytes per report")
PY
