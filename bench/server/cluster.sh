#!/usr/bin/env bash
# Measures pinrova-posd on a Redis Cluster against the embedded store, in one run on loopback:
#  1. SetPos throughput through each, alternating, as a ratio (cluster / embedded);
#  2. GetUsers with PEOPLE people around one city at zoom 14 and zoom 3: rate and p99, each store;
#  3. Register p99 on the cluster, each answer waiting for a replica (WAIT 1);
#  4. the memory Redis uses for the people.
# The cluster is 3 masters with one replica each, all on this machine, like the service's
# 2 HTTP threads: every figure shares the same 2 cores. Environment: PEOPLE (1000000),
# DURATION seconds per run (5), ROUNDS (3).
set -euo pipefail

# shellcheck source=SCRIPTDIR/common.sh
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

people=${PEOPLE:-1000000}
duration=${DURATION:-5}
rounds=${ROUNDS:-3}

# shellcheck source=../../scripts/lib/world.sh
. "$root/scripts/lib/world.sh"
# shellcheck source=../../scripts/lib/cluster.sh
. "$root/scripts/lib/cluster.sh"

bench_workdir posd-cluster-bench world_stop
bench_build pinrova-posd posd_seed posd_redisseed

echo "== Redis Cluster: 3 masters, 3 replicas"
cluster_redis_start "$work/redis"
nodes=("${cluster_nodes[@]}")
seeds=$cluster_seeds

echo "== seeding $people people into each store"
"$build/bench/server/posd_seed" "$work/people.db" "$people" 59.94 30.31 0.3 1.18 >/dev/null
start=$(date +%s)
"$build/bench/server/posd_redisseed" "$seeds" "$people" 59.94 30.31 0.3 1.18
echo "cluster seeded in $(($(date +%s) - start)) s"

rate() { sed -n 's/^Requests\/sec: *\([0-9.]*\).*/\1/p'; }

bench_start_posd "$work/embedded.log" 10 --threads 2 --db "$work/people.db"
embedded=$posd_port
bench_start_posd "$work/cluster.log" 10 --threads 2 --redis "$seeds"
cluster=$posd_port
sleep 0.5

echo "== SetPos, 64 connections, ${duration}s per run, embedded and cluster alternating"
ratios=()
for round in $(seq "$rounds"); do
    e=$(PEOPLE=$people wrk -t2 -c64 -d"${duration}s" -s "$here/setpos.lua" "http://127.0.0.1:$embedded" | rate)
    c=$(PEOPLE=$people wrk -t2 -c64 -d"${duration}s" -s "$here/setpos.lua" "http://127.0.0.1:$cluster" | rate)
    ratio=$(python3 -c "print(f'{$c / $e:.2f}')")
    ratios+=("$ratio")
    echo "round $round: embedded $e/s, cluster $c/s, ratio $ratio"
done
echo "SetPos cluster/embedded ratios: ${ratios[*]}"

for zoom in 14 3; do
    echo "== GetUsers at zoom $zoom, 16 connections, ${duration}s"
    for store in embedded cluster; do
        port=${!store}
        echo -n "$store: "
        # Random points in the seeded area; prints | requests/s | p50 | p99 | errors |.
        wrk -t2 -c16 -d"${duration}s" --latency -s "$here/zoomsweep.lua" \
            "http://127.0.0.1:$port" -- "$zoom" 59.94 30.31 0.25 1.08 | grep -E '^\||Non-2xx' || true
    done
done

echo "== Register on the cluster with WAIT 1, 16 connections, ${duration}s"
wrk -t2 -c16 -d"${duration}s" --latency -s "$here/register.lua" "http://127.0.0.1:$cluster" \
    | grep -E '^register:|Non-2xx' || true

echo "== Redis memory"
for node in "${nodes[@]}"; do
    port=${node#*:}
    role=$(redis-cli -p "$port" info replication | sed -n 's/^role:\(.*\)\r$/\1/p')
    used=$(redis-cli -p "$port" info memory | sed -n 's/^used_memory:\(.*\)\r$/\1/p')
    keys=$(redis-cli -p "$port" dbsize)
    echo "$node $role: $((used / 1024 / 1024)) MiB, $keys keys"
done
