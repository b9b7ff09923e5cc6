#!/usr/bin/env bash
# The write path of pinrova-posd on loopback (127.0.0.1 only, bounded in time), PEOPLE (100,000)
# seeded people, 2 HTTP threads:
#  1. Register latency under a full SetPos load: wrk -c64 SetPos at full speed and, at the same
#     time, wrk -c4 Registers of new people, for DURATION seconds (20);
#  2. the file's write volume at PEOPLE people reporting every 3 s: 100 connections each pacing
#     its SetPos (PACE_MS, 3 ms) to about PEOPLE / 3 a second, and the bytes the service wrote
#     to storage (/proc/PID/io write_bytes) during the run, per second and per report.
set -euo pipefail

# shellcheck source=SCRIPTDIR/common.sh
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

people=${PEOPLE:-100000}
duration=${DURATION:-20}
pace=${PACE_MS:-3}

bench_need_wrk 1 "writes.sh: wrk is needed (scripts/setup installs it)"
bench_workdir posd-writes
bench_build pinrova-posd posd_seed
"$build/bench/server/posd_seed" "$work/people.db" "$people" 59.94 30.31 0.3 1.18 >/dev/null

start() { bench_start_posd "$work/posd.log" 30 --db "$work/people.db" --threads 2; }
written() { awk '/^write_bytes/ {print $2}' "/proc/$posd_pid/io"; }

start
echo "== Register beside a full SetPos load, ${duration}s"
PEOPLE=$people wrk -t1 -c64 -d"${duration}s" -s "$here/setpos.lua" "http://127.0.0.1:$posd_port" \
    >"$work/setpos.out" &
loader=$!
wrk -t1 -c4 -d"${duration}s" --latency -s "$here/register.lua" "http://127.0.0.1:$posd_port" \
    | grep '^register:'
wait "$loader"
echo "SetPos at the same time: $(awk '/Requests\/sec/ {printf "%d", $2}' "$work/setpos.out")/s"
echo "commits: $(metric pinrova_commit_duration_seconds_count), failed $(metric pinrova_commits_failed_total)"
bench_stop "$posd_pid"

start
echo "== $people people reporting every 3 s: 100 connections, ${pace} ms between requests, ${duration}s"
before=$(written)
stored_before=$(metric 'pinrova_requests_total{kind="setpos",status="200"}')
PEOPLE=$people PACE_MS=$pace wrk -t1 -c100 -d"${duration}s" -s "$here/setpos.lua" \
    "http://127.0.0.1:$posd_port" >"$work/paced.out"
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
