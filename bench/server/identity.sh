#!/usr/bin/env bash
# What the identity checks cost, on loopback:
#  1. SetPos with session keys (Bearer header, SHA-256, the per-key limit set high enough never
#     to refuse, the store's key check) against SetPos under --open-registration, the same
#     PEOPLE registered on each, alternating in one run and reported as a ratio. Both get the
#     same requests, keys included (the open service ignores them), so wrk's own work on the
#     shared cores is the same on both sides;
#  2. Register with one Facebook token over and over (the verified-token cache answers);
#  3. Register with a new token each time, so the service asks a Graph API stand-in
#     (graphstandin.py, Python's threading HTTP server) every time.
# Needs wrk (installed with apt-get when missing). Environment: DURATION seconds per run (5),
# ROUNDS (3), PEOPLE (2000).
set -euo pipefail

# shellcheck source=SCRIPTDIR/common.sh
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

duration=${DURATION:-5}
rounds=${ROUNDS:-3}
people=${PEOPLE:-2000}
connections=64

bench_install_wrk
bench_workdir posd-identity
bench_build pinrova-posd
rate() { sed -n 's/^Requests\/sec: *\([0-9.]*\).*/\1/p'; }

python3 "$here/graphstandin.py" >"$work/graph.port" &
bench_pids+=("$!")
for _ in $(seq 50); do [ -s "$work/graph.port" ] && break; sleep 0.1; done
graph="http://127.0.0.1:$(head -1 "$work/graph.port")"
printf 'bench-vk-secret\n' >"$work/vk-secret"
printf 'bench-fb-secret\n' >"$work/fb-secret"
unlimited=(--register-per-minute 0 --getusers-per-second 0)

bench_start_posd "$work/open.log" 10 --db "$work/open.db" --threads 2 "${unlimited[@]}"
open_port=$posd_port
bench_start_posd "$work/keyed.log" 10 --db "$work/keyed.db" --threads 2 "${unlimited[@]}" \
    --vk-app-secret-file "$work/vk-secret" --facebook-app-secret-file "$work/fb-secret" \
    --facebook-app-id 1234 --facebook-graph "$graph" \
    --setpos-per-second 1000000 --setpos-burst 1000000
keyed_port=$posd_port

echo "== registering $people people on each"
python3 "$here/vkregister.py" "$open_port" "$people" bench-vk-secret "$work/open.keys"
python3 "$here/vkregister.py" "$keyed_port" "$people" bench-vk-secret "$work/keyed.keys"

echo "== SetPos, $connections connections, ${duration}s per run, open and keyed alternating"
ratios=()
for round in $(seq "$rounds"); do
    o=$(KEYS="$work/keyed.keys" wrk -t2 -c$connections -d"${duration}s" -s "$here/keyedsetpos.lua" "http://127.0.0.1:$open_port" | rate)
    k=$(KEYS="$work/keyed.keys" wrk -t2 -c$connections -d"${duration}s" -s "$here/keyedsetpos.lua" "http://127.0.0.1:$keyed_port" | rate)
    ratio=$(python3 -c "print(f'{$k / $o:.2f}')")
    ratios+=("$ratio")
    echo "round $round: open $o/s, with keys $k/s, ratio $ratio"
done
echo "keyed/open ratios: ${ratios[*]}"

echo "== Register, 16 connections, ${duration}s each"
echo -n "one Facebook token, cached: "
wrk -t2 -c16 -d"${duration}s" -s "$here/fbregister.lua" "http://127.0.0.1:$keyed_port" | grep '^register:'
echo -n "a new token each time, asking the stand-in Graph API: "
FRESH=1 wrk -t2 -c16 -d"${duration}s" -s "$here/fbregister.lua" "http://127.0.0.1:$keyed_port" | grep '^register:'
