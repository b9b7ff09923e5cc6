#!/usr/bin/env bash
# The cluster store's costs of session keys and crowd cells, measured on the store itself (no
# HTTP, so the figures are the store's alone) over PEOPLE people around St Petersburg, as
# cluster.sh seeds them: SetPos with the key checked against without, and GetUsers with crowds
# against without at zoom 14, 10, 3 and 0, alternating in one run (posdredisstorebench.cpp).
# Environment: PEOPLE (1000000), DURATION seconds per run (5), ROUNDS (3), ONLY=setpos for the
# key check alone.
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

bench_workdir posd-crowds-bench world_stop
bench_build posd_redisseed posd_redisstorebench

echo "== Redis Cluster: 3 masters, 3 replicas"
cluster_redis_start "$work/redis"

echo "== seeding $people people"
start=$(date +%s)
"$build/bench/server/posd_redisseed" "$cluster_seeds" "$people" 59.94 30.31 0.3 1.18
echo "cluster seeded in $(($(date +%s) - start)) s"

"$build/bench/server/posd_redisstorebench" "$cluster_seeds" "$people" 59.94 30.31 0.25 1.08 \
    "$rounds" "$duration" ${ONLY:+"$ONLY"}
