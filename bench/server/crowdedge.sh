#!/usr/bin/env bash
# Where the Redis time of a crowd count goes on one dense tile, in seconds rather than the
# minutes of seeding a million (crowds.sh): one redis-server, one zoom-8 tile's Morton index
# `{t:x.y}:m` filled with PEOPLE people (dense in the middle, thinning out, as a city), and the
# store's own crowd-cell script (taken from server/redis/crowdcount.cpp) run REQUESTS times for a
# zoom-10 view whose west and north edges cross the tile's middle. Prints, per script run, the
# calls and microseconds of ZCOUNT and ZRANGEBYSCORE, the whole script's, and the people it
# hands back. Environment: PEOPLE (170000, a tile of the seeded million's centre), REQUESTS
# (100), FEW (the script's edge-block size; the store's 32).
set -euo pipefail

# shellcheck source=SCRIPTDIR/common.sh
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

people=${PEOPLE:-170000}
requests=${REQUESTS:-100}
few=${FEW:-32}

bench_workdir posd-crowdedge-bench

port=$(free_port)
redis-server --port "$port" --bind 127.0.0.1 --save '' --appendonly no --dir "$work" \
    >"$work/redis.log" 2>&1 &
bench_pids+=($!)
for _ in $(seq 50); do
    redis-cli -p "$port" ping >/dev/null 2>&1 && break
    sleep 0.1
done
cli() { redis-cli -p "$port" "$@"; }

# People on the leaves (2^22 a side of the world, 2^14 a side of a zoom-8 tile) of tile 0.0,
# scored by their leaf's Morton code as the store files them.
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
local n = tonumber(ARGV[1])
local filed = 0
while filed < n do
  local batch = {}
  for _ = 1, math.min(500, n - filed) do
    local r, a = math.random() ^ 2 * 8000, math.random() * 6.283185
    filed = filed + 1
    batch[#batch + 1] = string.format('%.0f', morton(math.floor(8192 + r * math.cos(a)),
                                                     math.floor(8192 + r * math.sin(a))))
    batch[#batch + 1] = 'p' .. filed
  end
  redis.call('ZADD', KEYS[1], unpack(batch))
end
return redis.call('ZCARD', KEYS[1])
EOF
echo "== $(cli --eval "$work/seed.lua" m , "$people") people in one tile"

sed -n '/CountCells = R"lua(/,/^)lua";/p' "$root/server/redis/crowdcount.cpp" | sed '1d;$d' \
    >"$work/count.lua"
[ -s "$work/count.lua" ] || { echo "the crowd-cell script was not found" >&2; exit 1; }

morton() {
    local x=$1 y=$2 code=0 bit
    for ((bit = 0; bit < 12; ++bit)); do
        ((code |= ((x >> bit) & 1) << (2 * bit) | ((y >> bit) & 1) << (2 * bit + 1))) || true
    done
    echo "$code"
}
# The view's west edge at leaf 5000.3, its north edge at 6000.7; it runs on past the tile's
# east and south. Its zoom-10 cells are zoom-12 tiles: 1024 leaves a side.
args=(5001 16383 6001 16383 5000 16383 6000 16383 "$few" 12 22)
for ((x = 5000 >> 10; x < 16; ++x)); do
    for ((y = 6000 >> 10; y < 16; ++y)); do
        args+=("$(morton "$x" "$y")" "$x" "$y")
    done
done

sha=$(cli script load "$(cat "$work/count.lua")")
handed=$(cli evalsha "$sha" 1 m "${args[@]}" | wc -l)
cli config resetstat >/dev/null
redis-benchmark -p "$port" -n "$requests" -c 1 -q evalsha "$sha" 1 m "${args[@]}" >/dev/null
cli info commandstats | tr -d '\r' | awk -F'[:,=]' -v n="$requests" '
    /^cmdstat_(zcount|zrangebyscore|evalsha):/ {
        name = substr($1, 9); calls[name] = $3 / n; usec[name] = $5 / n }
    END {
        printf "per script run: ZCOUNT %d calls %.0f us, ZRANGEBYSCORE %d calls %.0f us,",
            calls["zcount"], usec["zcount"], calls["zrangebyscore"], usec["zrangebyscore"]
        printf " the script %.0f us in all\n", usec["evalsha"] }'
echo "reply: $handed lines (about two per person handed back)"
