#!/usr/bin/env bash
# Two builds of pinrova-posd side by side on loopback (127.0.0.1 only, bounded in time), for a
# change that must not cost speed: both serve a copy of the same PEOPLE seeded people (city
# box, as run.sh), and wrk runs against one then the other, ROUNDS times, for SetPos (64
# connections) and GetUsers at zoom 14 (16 connections). Interleaving keeps the machine's
# drift out of the ratio. Prints each run and the ratios of the sums, second build to first:
# requests per second, and requests per CPU second of the service (its user and system time
# over the run, from /proc), which other load on the machine disturbs far less.
#   bench/server/compare.sh BUILD_A BUILD_B
# Environment: DURATION seconds per run (5), ROUNDS (4), PEOPLE (100000).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

[ $# -eq 2 ] || { echo "usage: compare.sh BUILD_A BUILD_B" >&2; exit 2; }
builds=("$1" "$2")
duration=${DURATION:-5}
rounds=${ROUNDS:-4}
people=${PEOPLE:-100000}

bench_install_wrk
bench_workdir posd-compare

ports=()
pids=()
for i in 0 1; do
    build=${builds[i]}
    posd="$build/server/pinrova-posd"
    bench_build pinrova-posd posd_seed
    [ "$i" -eq 0 ] && "$build/bench/server/posd_seed" "$work/people.db" "$people" 59.94 30.31 0.3 1.18
    cp "$work/people.db" "$work/people-$i.db"
    bench_start_posd "$work/posd-$i.log" 10 --db "$work/people-$i.db" --threads 2
    ports+=("$posd_port")
    pids+=("$posd_pid")
done
sleep 0.5

# CPU time of a process so far, in clock ticks (user + system).
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rate() { sed -n 's/^Requests\/sec: *\([0-9.]*\).*/\1/p' "$1"; }
count() { sed -n 's/^ *\([0-9]*\) requests in .*/\1/p' "$1"; }

# Runs wrk against build i; adds its rate, requests and the service's CPU ticks to the sums of
# KIND for i, and leaves the rate in last_rate.
measure() {
    local kind=$1 i=$2 before after
    shift 2
    before=$(cpu_ticks "${pids[i]}")
    "$@" "http://127.0.0.1:${ports[i]}" >"$work/wrk.out"
    after=$(cpu_ticks "${pids[i]}")
    sum[$kind$i]=$(python3 -c "print(${sum[$kind$i]} + $(rate "$work/wrk.out"))")
    requests[$kind$i]=$((requests[$kind$i] + $(count "$work/wrk.out")))
    ticks[$kind$i]=$((ticks[$kind$i] + after - before))
    last_rate=$(rate "$work/wrk.out")
}

declare -A sum requests ticks
for kind in setpos getusers; do
    for i in 0 1; do
        sum[$kind$i]=0
        requests[$kind$i]=0
        ticks[$kind$i]=0
    done
done
for round in $(seq "$rounds"); do
    # Each build goes first every other round, so drift within a round evens out.
    order=(0 1)
    ((round % 2 == 0)) && order=(1 0)
    for i in "${order[@]}"; do
        measure setpos "$i" env PEOPLE="$people" wrk -t2 -c64 -d"${duration}s" -s "$here/setpos.lua"
        s=$last_rate
        measure getusers "$i" wrk -t2 -c16 -d"${duration}s" -s "$here/getusers.lua"
        echo "round $round, ${builds[i]}: SetPos $s/s, GetUsers $last_rate/s"
    done
done
perCpu() { python3 -c "print(${requests[$1$2]} / max(${ticks[$1$2]}, 1))"; }
for kind in setpos getusers; do
    python3 -c "print(f'$kind, second / first: requests/s {${sum[${kind}1]} / ${sum[${kind}0]}:.3f}, requests per CPU second {$(perCpu "$kind" 1) / $(perCpu "$kind" 0):.3f}')"
done
