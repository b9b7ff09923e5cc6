#!/usr/bin/env bash
# Measures pinrova-posd on loopback (127.0.0.1 only, bounded in time):
#  1. SetPos throughput with 64 keep-alive connections, alternating with nginx answering an
#     empty 200 for the same URLs, reported as a ratio (the machines are noisy);
#  2. GetUsers with 100,000 people around one city, ~100 in each answer: rate and p99;
#  3. resident memory of the service with those 100,000 people, against an empty one.
# Needs wrk (installed with apt-get when missing) and nginx (the binary of Debian's nginx
# package, which nginx-light pulls in, unpacked into the work folder, never installed or
# started as a service). Environment: DURATION seconds per run (5), ROUNDS (3), PEOPLE (100000).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
here="$root/bench/server"
build=${PINROVA_BUILD_DIR:-$root/build}
duration=${DURATION:-5}
rounds=${ROUNDS:-3}
people=${PEOPLE:-100000}
connections=64

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
if ! command -v wrk >/dev/null; then
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends wrk
fi

work=$(mktemp -d /tmp/posd-bench.XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

nginx=$(command -v nginx || true)
if [ -z "$nginx" ]; then
    (cd "$work" && apt-get download -q nginx >/dev/null 2>&1 && dpkg -x nginx_*.deb nginx-root)
    nginx="$work/nginx-root/usr/sbin/nginx"
fi

cmake --build "$build" --target pinrova-posd posd_seed >/dev/null
posd="$build/server/pinrova-posd"

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

# Starts pinrova-posd on a free port; sets started_pid and started_port.
start_posd() {
    local db=$1 log=$2
    "$posd" --listen 127.0.0.1:0 --db "$db" --threads 2 2>"$log" &
    started_pid=$!
    pids+=("$started_pid")
    for _ in $(seq 100); do
        started_port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$log")
        [ -n "$started_port" ] && return 0
        sleep 0.1
    done
    echo "pinrova-posd did not start:" >&2; cat "$log" >&2; exit 1
}

rss_kib() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }
rate() { sed -n 's/^Requests\/sec: *\([0-9.]*\).*/\1/p'; }

echo "== seeding $people people"
"$build/bench/server/posd_seed" "$work/people.db" "$people" 59.94 30.31 0.3 1.18

start_posd "$work/empty.db" "$work/empty.log"
empty_pid=$started_pid
start_posd "$work/people.db" "$work/posd.log"
posd_pid=$started_pid
posd_port=$started_port
sleep 0.5
empty_rss=$(rss_kib "$empty_pid")
loaded_rss=$(rss_kib "$posd_pid")
kill "$empty_pid"

nginx_port=$(free_port)
mkdir -p "$work/nginx"
sed "s|@WORK@|$work/nginx|g; s|@PORT@|$nginx_port|g" "$here/nginx.conf.in" >"$work/nginx/nginx.conf"
"$nginx" -p "$work/nginx" -c "$work/nginx/nginx.conf" 2>"$work/nginx/stderr" &
pids+=("$!")
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$nginx_port/" && break; sleep 0.1; done

echo "== SetPos, $connections connections, ${duration}s per run, nginx and posd alternating"
ratios=()
for round in $(seq "$rounds"); do
    n=$(PEOPLE=$people wrk -t2 -c$connections -d"${duration}s" -s "$here/setpos.lua" "http://127.0.0.1:$nginx_port" | rate)
    p=$(PEOPLE=$people wrk -t2 -c$connections -d"${duration}s" -s "$here/setpos.lua" "http://127.0.0.1:$posd_port" | rate)
    ratio=$(python3 -c "print(f'{$p / $n:.2f}')")
    ratios+=("$ratio")
    echo "round $round: nginx $n/s, posd SetPos $p/s, ratio $ratio"
done
echo "SetPos/nginx ratios: ${ratios[*]}"

echo "== GetUsers at zoom 14, ${duration}s per run"
curl -s "http://127.0.0.1:$posd_port/PosService/PosService.svc/GetUsers?lat=59.94&lon=30.31&zoomlevel=14" \
    | grep -o '<User>' | wc -l | sed 's/^/people in the answer at the centre: /'
# 64 connections saturate the two cores (throughput); 16 show the latency below saturation.
for c in $connections 16; do
    echo -n "$c connections: "
    wrk -t2 -c"$c" -d"${duration}s" --latency -s "$here/getusers.lua" "http://127.0.0.1:$posd_port" \
        | grep -E '^getusers:|Non-2xx' || true
done

echo "== memory"
echo "resident: empty $((empty_rss / 1024)) MiB, with $people people $((loaded_rss / 1024)) MiB," \
     "difference $(((loaded_rss - empty_rss) / 1024)) MiB; after the loads $(($(rss_kib "$posd_pid") / 1024)) MiB"
