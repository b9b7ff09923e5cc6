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

# shellcheck source=SCRIPTDIR/common.sh
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

duration=${DURATION:-5}
rounds=${ROUNDS:-3}
people=${PEOPLE:-100000}
connections=64

bench_install_wrk
bench_workdir posd-bench

nginx=$(command -v nginx || true)
if [ -z "$nginx" ]; then
    (cd "$work" && apt-get download -q nginx >/dev/null 2>&1 && dpkg -x nginx_*.deb nginx-root)
    nginx="$work/nginx-root/usr/sbin/nginx"
fi

bench_build pinrova-posd posd_seed
rate() { sed -n 's/^Requests\/sec: *\([0-9.]*\).*/\1/p'; }

echo "== seeding $people people"
"$build/bench/server/posd_seed" "$work/people.db" "$people" 59.94 30.31 0.3 1.18

bench_start_posd "$work/empty.log" 10 --db "$work/empty.db" --threads 2
empty_pid=$posd_pid
bench_start_posd "$work/posd.log" 10 --db "$work/people.db" --threads 2
sleep 0.5
empty_rss=$(rss_kib "$empty_pid")
loaded_rss=$(rss_kib "$posd_pid")
kill "$empty_pid"

nginx_port=$(free_port)
mkdir -p "$work/nginx"
sed "s|@WORK@|$work/nginx|g; s|@PORT@|$nginx_port|g" "$here/nginx.conf.in" >"$work/nginx/nginx.conf"
"$nginx" -p "$work/nginx" -c "$work/nginx/nginx.conf" 2>"$work/nginx/stderr" &
bench_pids+=("$!")
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
