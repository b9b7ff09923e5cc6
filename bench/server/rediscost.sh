#!/usr/bin/env bash
# What one request costs the Redis Cluster, in one run on loopback (3 masters with a replica
# each, one pinrova-posd with 2 threads):
#  1. GetUsers at zoom 13 over CROWD people in one city tile: the bytes the masters send and
#     the time they spend in commands (INFO stats and commandstats, summed over the masters),
#     per request, for an 800 x 480 view and a 1 x 4096 one, and their ratio;
#  2. a /metrics scrape with 10,000 people stored and again with PEOPLE stored: its time
#     (wrk, one connection) and the masters' time in commands.
# Environment: CROWD (60000), PEOPLE (1000000), REQUESTS per view (50), DURATION of each
# scrape run in seconds (5).
set -euo pipefail

# shellcheck source=SCRIPTDIR/common.sh
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

crowd=${CROWD:-60000}
people=${PEOPLE:-1000000}
requests=${REQUESTS:-50}
duration=${DURATION:-5}

# shellcheck source=../../scripts/lib/world.sh
. "$root/scripts/lib/world.sh"
# shellcheck source=../../scripts/lib/cluster.sh
. "$root/scripts/lib/cluster.sh"

bench_workdir posd-rediscost-bench world_stop
bench_build pinrova-posd posd_redisseed
bench_need_wrk 77 "wrk is not installed (scripts/packages lists it)"

echo "== Redis Cluster: 3 masters, 3 replicas"
cluster_redis_start "$work/redis"
nodes=("${cluster_nodes[@]}")
seeds=$cluster_seeds
masters=()
for node in "${nodes[@]}"; do
    role=$(redis-cli -p "${node#*:}" info replication | sed -n 's/^role:\(.*\)\r$/\1/p')
    [ "$role" = master ] && masters+=("${node#*:}")
done

# Bytes sent and microseconds spent in commands, summed over the masters.
redis_totals() {
    local port bytes=0 usec=0 b u
    for port in "${masters[@]}"; do
        b=$(redis-cli -p "$port" info stats | sed -n 's/^total_net_output_bytes:\([0-9]*\).*/\1/p')
        u=$(redis-cli -p "$port" info commandstats | sed -n 's/.*,usec=\([0-9]*\),.*/\1/p' |
            awk '{s += $1} END {print s + 0}')
        bytes=$((bytes + b))
        usec=$((usec + u))
    done
    echo "$bytes $usec"
}

seed() {
    local start
    start=$(date +%s)
    "$build/bench/server/posd_redisseed" "$seeds" "$@"
    echo "seeded $1 people in $(($(date +%s) - start)) s"
}

# A scrape: the wrk average over DURATION seconds, and the Redis time of 100 scrapes.
scrape() {
    local usec0 usec1 bytes
    wrk -t1 -c1 -d"${duration}s" "http://127.0.0.1:$posd_port/metrics" |
        awk '$1 == "Latency" {printf "%s average, ", $2; exit}'
    read -r bytes usec0 <<<"$(redis_totals)"
    for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$posd_port/metrics"; done
    read -r bytes usec1 <<<"$(redis_totals)"
    echo "$(((usec1 - usec0) / 100)) µs of Redis"
}

bench_start_posd "$work/posd.log" 10 --threads 2 --redis "$seeds"

echo "== /metrics with 10,000 people"
seed 10000 59.94 30.31 0.3 1.18
echo "scrape: $(scrape)"

echo "== GetUsers at zoom 13 over $crowd people in one tile"
seed "$crowd" 59.94 30.31 0.05 0.1
declare -A cost
for shape in "800 480" "1 4096"; do
    read -r width height <<<"$shape"
    url="http://127.0.0.1:$posd_port/PosService/PosService.svc/GetUsers?lat=59.94&lon=30.31&zoomlevel=13&width=$width&height=$height"
    curl -s -o /dev/null "$url" # the radius hint, as a busy service has it
    read -r bytes0 usec0 <<<"$(redis_totals)"
    for _ in $(seq "$requests"); do curl -s -o /dev/null "$url"; done
    read -r bytes1 usec1 <<<"$(redis_totals)"
    # The bytes include the INFO replies themselves: a few KiB spread over all the requests.
    cost[$width,bytes]=$(((bytes1 - bytes0) / requests))
    cost[$width,usec]=$(python3 -c "print(f'{($usec1 - $usec0) / $requests:.0f}')")
    echo "${width} x ${height}: ${cost[$width,bytes]} bytes, ${cost[$width,usec]} µs of Redis per request"
done
python3 -c "print(f'1 x 4096 / 800 x 480: bytes {${cost[1,bytes]} / ${cost[800,bytes]}:.2f}, time {${cost[1,usec]} / max(1, ${cost[800,usec]}):.2f}')"

echo "== /metrics with $people people"
seed "$people" 59.94 30.31 0.3 1.18
echo "scrape: $(scrape)"
