#!/usr/bin/env bash
# Mixed load on pinrova-posd on loopback (127.0.0.1 only, bounded in time): SetPos, GetUsers
# and four kinds of bad request in fixed proportions (mixed.lua) from CONNECTIONS keep-alive
# connections for DURATION seconds against PEOPLE seeded people. Reports requests/s, latency,
# the answers of each kind and each status, wrk's socket errors, and the service's resident
# memory every SAMPLE seconds, with its range after the first WARMUP seconds. Exits 1 when an
# answer is not the one its request must get, a socket error or time-out happened, or the
# service died.
# Before it, SetPos alone and beside a GetUsers load (FAIR_DURATION s each, 10), as a ratio.
# Environment: DURATION (60), CONNECTIONS (256), THREADS wrk threads (2), POSD_THREADS (2),
# PEOPLE (100000), SAMPLE (2), WARMUP (10), PINROVA_BUILD_DIR (build/).
set -euo pipefail

# shellcheck source=SCRIPTDIR/common.sh
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

duration=${DURATION:-60}
connections=${CONNECTIONS:-256}
threads=${THREADS:-2}
posd_threads=${POSD_THREADS:-2}
people=${PEOPLE:-100000}
sample=${SAMPLE:-2}
warmup=${WARMUP:-10}

bench_need_wrk 2 "mixed.sh: wrk is missing (scripts/setup installs it, or apt-get install wrk)"
# wrk holds a descriptor per connection.
if [ "$(ulimit -n)" != unlimited ] && [ "$(ulimit -n)" -lt $((connections + 64)) ]; then
    ulimit -n $((connections + 64)) 2>/dev/null || {
        echo "mixed.sh: ulimit -n is $(ulimit -n), too low for $connections connections" >&2
        exit 2
    }
fi

bench_workdir posd-mixed
bench_build pinrova-posd posd_seed

echo "== seeding $people people"
"$build/bench/server/posd_seed" "$work/people.db" "$people" 59.94 30.31 0.3 1.18

bench_start_posd "$work/posd.log" 10 --db "$work/people.db" --threads "$posd_threads"
start_rss=$(rss_kib "$posd_pid" 2>/dev/null)

# Resident memory every $sample s while the load runs: seconds since the start, KiB.
(
    start=$SECONDS
    while kill -0 "$posd_pid" 2>/dev/null; do
        echo "$((SECONDS - start)) $(rss_kib "$posd_pid" 2>/dev/null)"
        sleep "$sample"
    done
) >"$work/rss" &
sampler=$!
bench_pids+=("$sampler")

# Writers beside readers: SetPos alone, then the same SetPos load while GetUsers at zoom 3 (a
# view over a whole region, the costliest kind before the bounded search) runs beside it.
fair=${FAIR_DURATION:-10}
rate() { awk '/Requests\/sec/ {printf "%d", $2}'; }
echo "== SetPos alone, then beside GetUsers at zoom 3: 32 connections each, ${fair}s each"
alone=$(PEOPLE=$people wrk -t1 -c32 -d"${fair}s" -s "$here/setpos.lua" "http://127.0.0.1:$posd_port" | rate)
wrk -t1 -c32 -d"${fair}s" --latency -s "$here/zoomsweep.lua" "http://127.0.0.1:$posd_port" \
    -- 3 59.94 30.31 0.3 1.18 >"$work/readers.out" &
readers=$!
beside=$(PEOPLE=$people wrk -t1 -c32 -d"${fair}s" -s "$here/setpos.lua" "http://127.0.0.1:$posd_port" | rate)
wait "$readers" || true
echo "SetPos alone $alone/s; beside GetUsers $beside/s" \
     "(GetUsers $(rate <"$work/readers.out")/s at the same time); ratio" \
     "$(python3 -c "print(f'{$beside / max($alone, 1):.2f}')")"

echo "== mixed load: $connections connections, $threads wrk threads, ${duration}s, port $posd_port"
PEOPLE=$people wrk -t"$threads" -c"$connections" -d"${duration}s" --latency \
    -s "$here/mixed.lua" "http://127.0.0.1:$posd_port" | tee "$work/wrk.out"
kill "$sampler" 2>/dev/null || true

alive=1
kill -0 "$posd_pid" 2>/dev/null || alive=0
end_rss=$(rss_kib "$posd_pid" 2>/dev/null || true)

echo "== resident memory of pinrova-posd (MiB)"
echo "before the load: $((start_rss / 1024)), after it: $((${end_rss:-0} / 1024))"
awk -v warmup="$warmup" '
    { printf "%s%ds %.1f", (NR > 1 ? ", " : ""), $1, $2 / 1024 }
    $1 >= warmup && $2 != "" { if (min == "" || $2 < min) min = $2; if ($2 > max) max = $2; n++ }
    END {
        printf "\n"
        if (n) printf "after %d s warm-up, %d samples: min %.1f, max %.1f, spread %.1f MiB\n",
            warmup, n, min / 1024, max / 1024, (max - min) / 1024
    }' "$work/rss"

status=0
if ((!alive)); then
    echo "mixed.sh: pinrova-posd died during the load" >&2
    tail -5 "$work/posd.log" >&2
    status=1
fi
unexpected=$(sed -n 's/^mixed: .* answered as expected, \([0-9]*\) unexpected.*/\1/p' "$work/wrk.out")
errors=$(sed -n 's/^mixed: socket errors connect \([0-9]*\), read \([0-9]*\), write \([0-9]*\), timeout \([0-9]*\)/\1 \2 \3 \4/p' "$work/wrk.out")
if [ "${unexpected:-x}" != 0 ]; then
    echo "mixed.sh: ${unexpected:-unknown} answers were not the expected ones" >&2
    status=1
fi
if [ "$errors" != "0 0 0 0" ]; then
    echo "mixed.sh: socket errors (connect read write timeout): ${errors:-unknown}" >&2
    status=1
fi
if grep -q 'write failed\|failed:' "$work/posd.log"; then
    echo "mixed.sh: pinrova-posd reported failures:" >&2
    grep 'write failed\|failed:' "$work/posd.log" | head -5 >&2
    status=1
fi
((status == 0)) && echo "mixed.sh: every answer as expected, no socket errors"
exit "$status"
