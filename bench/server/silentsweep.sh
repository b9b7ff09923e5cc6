#!/usr/bin/env bash
# What taking silent people out of a tile's crowd cells costs the shard, in seconds rather than
# the minutes of seeding a million (crowds.sh): one redis-server, one zoom-8 tile's Morton index
# `{t:x.y}:m` and last-seen times `:s` with PEOPLE people (dense in the middle, as a city), and
# the store's crowd-cell script (taken from server/redis/crowdcount.cpp) for a zoom-10 view's
# 128 cells. Prints, alternating in one run, the script's Redis time per call against the same
# script without its first step (from git's BASE, the commit before that step) while nobody is
# newly silent, then per call with everyone silent for a day, for a few batch sizes.
# Environment: PEOPLE (170000), REQUESTS (2000), ROUNDS (3), BASE (ff7d22c).
set -euo pipefail

# shellcheck source=SCRIPTDIR/common.sh
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

people=${PEOPLE:-170000}
requests=${REQUESTS:-2000}
rounds=${ROUNDS:-3}
base=${BASE:-ff7d22c}

bench_workdir posd-silentsweep-bench
port=$(free_port)
redis-server --port "$port" --bind 127.0.0.1 --save '' --appendonly no --dir "$work" \
    >"$work/redis.log" 2>&1 &
bench_pids+=($!)
for _ in $(seq 50); do
    redis-cli -p "$port" ping >/dev/null 2>&1 && break
    sleep 0.1
done
cli() { redis-cli -p "$port" "$@"; }
script() { sed -n '/CountCells = R"lua(/,/^)lua";/p' | sed '1d;$d'; }
usec() {
    cli info commandstats | tr -d '\r' | sed -n 's/^cmdstat_evalsha:.*usec_per_call=\([0-9.]*\).*/\1/p'
}

# People on the leaves (2^14 a side of a zoom-8 tile) of one tile, scored by their leaf's
# Morton code as the store files them, last seen within the hour before ARGV[2].
cat >"$work/seed.lua" <<'EOF'
math.randomseed(1)
local function morton(x, y)
  local code, place = 0, 1
  for _ = 0, 21 do
    code = code + (x % 2) * place + (y % 2) * place * 2
    x, y, place = math.floor(x / 2), math.floor(y / 2), place * 4
  end
  return code
end
local n, now = tonumber(ARGV[1]), tonumber(ARGV[2])
for first = 1, n, 500 do
  local cells, seen = {}, {}
  for i = first, math.min(n, first + 499) do
    local r, a = math.random() ^ 2 * 8000, math.random() * 6.283185
    cells[#cells + 1] = string.format('%.0f', morton(math.floor(8192 + r * math.cos(a)),
                                                     math.floor(8192 + r * math.sin(a))))
    cells[#cells + 1] = 'p' .. i
    seen[#seen + 1] = string.format('%.0f', now - math.random(0, 3600000))
    seen[#seen + 1] = 'p' .. i
  end
  redis.call('ZADD', KEYS[1], unpack(cells))
  redis.call('ZADD', KEYS[2], unpack(seen))
end
return redis.call('ZCARD', KEYS[1])
EOF

git -C "$root" show "$base:server/redis/crowdcount.cpp" | script >"$work/before.lua"
script <"$root/server/redis/crowdcount.cpp" >"$work/after.lua"
if [ ! -s "$work/before.lua" ] || [ ! -s "$work/after.lua" ]; then
    echo "a script was not found" >&2
    exit 1
fi
before=$(cli script load "$(cat "$work/before.lua")")
after=$(cli script load "$(cat "$work/after.lua")")
# A zoom-10 view's cells are zoom-12 tiles: 2^10 leaves a side, 4^10 scores.
cells=()
for ((k = 0; k < 128; ++k)); do cells+=($((k * 1048576)) $((k * 1048576 + 1048575))); done
day=86400000
retain=$((30 * day))

now=$(date +%s%3N)
echo "== $(cli --eval "$work/seed.lua" m s , "$people" "$now") people, nobody newly silent"
for ((round = 1; round <= rounds; ++round)); do
    cli config resetstat >/dev/null
    redis-benchmark -p "$port" -n "$requests" -c 1 -q evalsha "$before" 1 m "${cells[@]}" >/dev/null
    without=$(usec)
    cli config resetstat >/dev/null
    redis-benchmark -p "$port" -n "$requests" -c 1 -q \
        evalsha "$after" 3 m s w $((now - day)) "$retain" 256 "${cells[@]}" >/dev/null
    with=$(usec)
    echo "round $round: $with us a call against $without us, ratio $(echo "scale=2; $with / $without" | bc)"
done

echo "== everyone silent for a day: one call per batch size, five each"
cli flushall >/dev/null
cli --eval "$work/seed.lua" m s , "$people" $((now - day - 3600000)) >/dev/null
for batch in 256 512 1024; do
    cli config resetstat >/dev/null
    for _ in 1 2 3 4 5; do
        cli evalsha "$after" 3 m s w $((now - day)) "$retain" "$batch" "${cells[@]}" >/dev/null
    done
    echo "batch $batch: $(usec) us a call"
done
