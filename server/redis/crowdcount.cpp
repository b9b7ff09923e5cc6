#include "redis/crowdcount.h"

#include "redis/client/rediscluster.h"
#include "redis/storekeys.h"
#include "redis/storeoperations.h"
#include "store/mapprojection.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <set>
#include <utility>

namespace Pinrova::Server::Redis {

namespace {

constexpr int LeafShift = LeafLevel - Tile::Zoom; // leaves per tile side: 1 << LeafShift

// KEYS: a tile's crowd cells, last-seen times, and the time its silent people are out of the
// cells until. ARGV: the time (ms) before which people are silent, the tile's retention (ms),
// SilentBatch, then each block's first and last score. First takes out of the cells, from
// where the last count stopped, at most SilentBatch people silent since (and everyone sharing
// the last one's time, so a batch always moves on); a position files its person again. Nothing
// is written when nobody fell silent. Then answers each block's people: a block is a crowd cell
// (or the tile, where cells are larger), so one ZCOUNT.
constexpr const char *CountCells = R"lua(
local from = tonumber(redis.call('GET', KEYS[3]) or '0')
local before = tonumber(ARGV[1])
local batch = tonumber(ARGV[3])
local silent = {}
if from < before then
  silent = redis.call('ZRANGEBYSCORE', KEYS[2], string.format('%.0f', from),
                      '(' .. string.format('%.0f', before), 'WITHSCORES', 'LIMIT', 0, batch)
end
if #silent > 0 then
  local names = {}
  for i = 1, #silent, 2 do names[#names + 1] = silent[i] end
  if #names < batch then
    from = before
  else
    local last = silent[#silent]
    local tied = redis.call('ZRANGEBYSCORE', KEYS[2], last, last)
    for i = 1, #tied do names[#names + 1] = tied[i] end
    from = tonumber(last) + 1
  end
  for i = 1, #names, 1000 do
    redis.call('ZREM', KEYS[1], unpack(names, i, math.min(i + 999, #names)))
  end
  redis.call('SET', KEYS[3], string.format('%.0f', from), 'PX', ARGV[2])
end
local out = {}
for i = 4, #ARGV, 2 do
  out[#out + 1] = redis.call('ZCOUNT', KEYS[1], ARGV[i], ARGV[i + 1])
end
return out
)lua";

double unitLon(double lon)
{
    double l = std::fmod(lon + 180, 360);
    if (l < 0)
        l += 360;
    return l / 360;
}

} // namespace

Cell leafOf(double lat, double lon)
{
    const Tile tile = Tile::of(lat, lon);
    const double side = std::ldexp(1.0, LeafLevel);
    const auto within = [](double unit, double side, int tileIndex) {
        const double first = static_cast<double>(tileIndex) * (1 << LeafShift);
        const double last = first + (1 << LeafShift) - 1;
        return static_cast<std::uint32_t>(std::clamp(std::floor(unit * side), first, last));
    };
    return {within(unitLon(lon), side, tile.x), within(toWorld(lat, 0).y, side, tile.y)};
}

std::uint64_t mortonOf(const Cell &cell, int level)
{
    std::uint64_t code = 0;
    for (int bit = 0; bit < level; ++bit) {
        code |= static_cast<std::uint64_t>((cell.x >> bit) & 1) << (2 * bit);
        code |= static_cast<std::uint64_t>((cell.y >> bit) & 1) << (2 * bit + 1);
    }
    return code;
}

void CrowdCount::start(RedisCluster &cluster, const RedisStoreConfig &config, const MapView &view,
    const std::vector<Tile> &tiles, NearestAnswer answer, Done done)
{
    std::shared_ptr<CrowdCount> count(
        new CrowdCount(cluster, config, view, std::move(answer), std::move(done)));
    for (const Tile &tile : tiles)
        count->countTile(tile);
    count->finish();
}

CrowdCount::CrowdCount(RedisCluster &cluster, const RedisStoreConfig &config, const MapView &view,
    NearestAnswer answer, Done done)
    : cluster(cluster)
    , config(config)
    , level(levelOf(view))
    , touched(tilesTouched(view, level))
    , silentBeforeMs(std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count()
          - config.forgetMs)
    , answer(std::move(answer))
    , done(std::move(done))
{ }

LatLonBox CrowdCount::boxOfCells(const MapView &view)
{
    const int level = levelOf(view);
    const TileSpan span = tilesTouched(view, level);
    const double side = std::ldexp(1.0, level);
    LatLonBox box;
    box.north = span.y0 == 0 ? 90 : latOfWorldY(static_cast<double>(span.y0) / side);
    box.south = span.y1 + 1 >= side ? -90 : latOfWorldY(static_cast<double>(span.y1 + 1) / side);
    if (span.x1 - span.x0 + 1 < side) {
        const auto lonOf = [side](std::int64_t x) {
            const double unit = static_cast<double>(x) / side;
            return lonOfWorldX(unit - std::floor(unit));
        };
        box.west = lonOf(span.x0);
        box.east = lonOf(span.x1 + 1);
    }
    return box;
}

void CrowdCount::countTile(const Tile &tile)
{
    // The blocks asked for: the crowd cells the view touches, or the tile itself when the
    // cells are larger than tiles. In blocks: the tile's own, and the view's cells.
    const int top = std::max(level, static_cast<int>(Tile::Zoom));
    const int shift = LeafLevel - top;
    const int down = top - level; // a cell's blocks per side: 1 << down
    const std::int64_t perCell = std::int64_t(1) << down; // multiplied, as columns may be < 0
    const int perTile = top - Tile::Zoom; // blocks per tile side: 1 << perTile
    const std::int64_t tileX0 = static_cast<std::int64_t>(tile.x) << perTile;
    const std::int64_t tileX1 = tileX0 + (std::int64_t(1) << perTile) - 1;
    const std::int64_t y0
        = std::max(touched.y0 * perCell, static_cast<std::int64_t>(tile.y) << perTile);
    const std::int64_t y1 = std::min(
        (touched.y1 + 1) * perCell - 1, (static_cast<std::int64_t>(tile.y + 1) << perTile) - 1);
    if (y0 > y1)
        return;
    // The map repeats east-west: the cells may run over the antimeridian, onto the tile from
    // either side, and a block counts once.
    const std::int64_t world = std::int64_t(1) << top;
    std::set<std::int64_t> columns;
    for (const std::int64_t copy : {-world, std::int64_t(0), world}) {
        const std::int64_t x0 = std::max(touched.x0 * perCell + copy, tileX0);
        const std::int64_t x1 = std::min((touched.x1 + 1) * perCell - 1 + copy, tileX1);
        for (std::int64_t x = x0; x <= x1; ++x)
            columns.insert(x);
    }
    if (columns.empty())
        return;
    const std::uint64_t width = std::uint64_t(1) << (2 * shift);
    std::vector<Cell> cells; // per block, its crowd cell
    std::vector<std::string> args {"EVAL", CountCells, "3", Keys::cells(tile), Keys::seen(tile),
        Keys::cellsSilentUntil(tile), std::to_string(silentBeforeMs),
        std::to_string(config.retainMs), std::to_string(SilentBatch)};
    for (const std::int64_t x : columns) {
        for (std::int64_t y = y0; y <= y1; ++y) {
            const Cell block {static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y)};
            const std::uint64_t first = mortonOf(block, top) * width;
            args.push_back(std::to_string(first));
            args.push_back(std::to_string(first + width - 1));
            cells.push_back({block.x >> down, block.y >> down});
        }
    }
    auto self = shared_from_this();
    ++waiting;
    cluster.call(Keys::cells(tile), std::move(args),
        [self, cells = std::move(cells)](CallResult result) { self->onTile(cells, result); });
}

void CrowdCount::onTile(const std::vector<Cell> &cells, const CallResult &result)
{
    const auto &blocks = result.reply.elements;
    if (!result.ok() || result.reply.kind != RedisReply::Kind::Array
        || blocks.size() != cells.size()) {
        failed = true;
        return finish();
    }
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (blocks[i].integer > 0)
            counts[cells[i]] += static_cast<std::size_t>(blocks[i].integer);
    }
    finish();
}

void CrowdCount::finish()
{
    if (--waiting > 0 || !done)
        return;
    auto finished = std::move(done);
    done = nullptr;
    if (failed) {
        NearestAnswer refused;
        refused.status = StoreStatus::Unavailable;
        return finished(std::move(refused));
    }
    const int up = LeafLevel - level;
    for (const auto &person : answer.people) {
        const Cell leaf = leafOf(person.lat, person.lon);
        const auto it = counts.find({leaf.x >> up, leaf.y >> up});
        if (it != counts.end() && it->second > 0)
            --it->second;
    }
    const double cellsPerSide = std::ldexp(1.0, level);
    for (const auto &[cell, count] : counts) {
        if (count == 0)
            continue;
        Crowd crowd;
        crowd.lat = latOfWorldY((cell.y + 0.5) / cellsPerSide);
        crowd.lon = lonOfWorldX((cell.x + 0.5) / cellsPerSide);
        crowd.count = count;
        answer.crowds.push_back(crowd);
    }
    finished(std::move(answer));
}

} // namespace Pinrova::Server::Redis
