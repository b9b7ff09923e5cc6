#include "redis/crowdcount.h"

#include "redis/client/rediscluster.h"
#include "redis/storekeys.h"
#include "store/mapprojection.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace Pinrova::Server::Redis {

namespace {

constexpr double Pi = 3.141592653589793;
constexpr int LeafShift = LeafLevel - Tile::Zoom; // leaves per tile side: 1 << LeafShift

// KEYS: a tile's crowd cells. ARGV: the view in leaf cells (the leaves wholly
// inside: x0 x1 y0 y1; the leaves it touches: x0 x1 y0 y1), the most people of an edge block
// checked one by one, the blocks' level, the leaves' level, then each block as Morton code,
// x, y. Answers per block {the people of its parts wholly inside the view, then "lat lon
// then person and cell (Morton code) of each person of the parts the view's edge cuts}. A block is
// split while the edge cuts it and it holds more than a few people: ZCOUNTs along the edge, never a
// walk over the people inside. The caller sorts those by their cell, and only the people of cells
// the edge itself cuts need their coordinates read.
constexpr const char *CountCells = R"lua(
local a = {}
for i = 1, 11 do a[i] = tonumber(ARGV[i]) end
local ix0, ix1, iy0, iy1, ox0, ox1, oy0, oy1, few, top, leaf =
  a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9], a[10], a[11]
local function visit(code, bx, by, level, tally)
  local span = 2 ^ (leaf - level)
  local x0, y0 = bx * span, by * span
  local x1, y1 = x0 + span - 1, y0 + span - 1
  if x1 < ox0 or x0 > ox1 or y1 < oy0 or y0 > oy1 then return end
  local width = 4 ^ (leaf - level)
  local lo = string.format('%.0f', code * width)
  local hi = string.format('%.0f', code * width + width - 1)
  local n = redis.call('ZCOUNT', KEYS[1], lo, hi)
  if n == 0 then return end
  if x0 >= ix0 and x1 <= ix1 and y0 >= iy0 and y1 <= iy1 then
    tally[1] = tally[1] + n
    return
  end
  if level < leaf and n > few then
    for q = 0, 3 do
      visit(code * 4 + q, 2 * bx + q % 2, 2 * by + math.floor(q / 2), level + 1, tally)
    end
    return
  end
  local hits = redis.call('ZRANGEBYSCORE', KEYS[1], lo, hi, 'WITHSCORES')
  for i = 1, #hits do tally[#tally + 1] = hits[i] end
end
local out = {}
for i = 12, #ARGV, 3 do
  local tally = {0}
  visit(tonumber(ARGV[i]), tonumber(ARGV[i + 1]), tonumber(ARGV[i + 2]), top, tally)
  out[#out + 1] = tally
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

double latOfWorldY(double y)
{
    return std::atan(std::sinh(Pi * (1 - 2 * y))) * 180 / Pi;
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

Cell cellOfMorton(std::uint64_t code, int level)
{
    Cell cell;
    for (int bit = 0; bit < level; ++bit) {
        cell.x |= static_cast<std::uint32_t>((code >> (2 * bit)) & 1) << bit;
        cell.y |= static_cast<std::uint32_t>((code >> (2 * bit + 1)) & 1) << bit;
    }
    return cell;
}

void CrowdCount::start(RedisCluster &cluster, const MapView &view, const std::vector<Tile> &tiles,
    NearestAnswer answer, Done done)
{
    std::shared_ptr<CrowdCount> count(
        new CrowdCount(cluster, view, std::move(answer), std::move(done)));
    for (const Tile &tile : tiles)
        count->countTile(tile);
    count->finish();
}

CrowdCount::CrowdCount(RedisCluster &cluster, const MapView &view, NearestAnswer answer, Done done)
    : cluster(cluster)
    , view(view)
    , level(std::clamp(view.zoom, 0, Limits::MaxZoom) + CellLevelOffset)
    , answer(std::move(answer))
    , done(std::move(done))
{ }

void CrowdCount::countTile(const Tile &tile)
{
    // The map repeats east-west: the view's copies that reach the tile (two where the view is
    // within a tile of the world's width) count apart, each once.
    if (view.halfWidth >= 0.5)
        return countTile(tile, std::nullopt);
    for (const double copy : {-1.0, 0.0, 1.0}) {
        const double west = view.centre.x + copy - view.halfWidth;
        const double east = view.centre.x + copy + view.halfWidth;
        if (east >= static_cast<double>(tile.x) / Tile::PerSide
            && west <= static_cast<double>(tile.x + 1) / Tile::PerSide)
            countTile(tile, view.centre.x + copy);
    }
}

void CrowdCount::countTile(const Tile &tile, std::optional<double> centreX)
{
    const double side = std::ldexp(1.0, LeafLevel);
    const std::int64_t tileX0 = static_cast<std::int64_t>(tile.x) << LeafShift;
    const std::int64_t tileY0 = static_cast<std::int64_t>(tile.y) << LeafShift;
    const std::int64_t tileX1 = tileX0 + (1 << LeafShift) - 1;
    const std::int64_t tileY1 = tileY0 + (1 << LeafShift) - 1;
    // The view's edges in leaves; no centre: every longitude.
    std::int64_t ix0 = tileX0, ix1 = tileX1, ox0 = tileX0, ox1 = tileX1;
    if (centreX) {
        const double west = (*centreX - view.halfWidth) * side;
        const double east = (*centreX + view.halfWidth) * side;
        ix0 = static_cast<std::int64_t>(std::ceil(west));
        ix1 = static_cast<std::int64_t>(std::floor(east)) - 1;
        ox0 = static_cast<std::int64_t>(std::floor(west));
        ox1 = static_cast<std::int64_t>(std::floor(east));
    }
    const double north = (view.centre.y - view.halfHeight) * side;
    const double south = (view.centre.y + view.halfHeight) * side;
    const std::int64_t iy0 = static_cast<std::int64_t>(std::ceil(north));
    const std::int64_t iy1 = static_cast<std::int64_t>(std::floor(south)) - 1;
    std::int64_t oy0 = static_cast<std::int64_t>(std::floor(north));
    std::int64_t oy1 = static_cast<std::int64_t>(std::floor(south));
    // A person beyond Mercator's edge stands on it: the outermost rows hold them.
    if (view.centre.y - view.halfHeight <= 0)
        oy0 = std::min<std::int64_t>(oy0, 0);
    if (view.centre.y + view.halfHeight >= 1)
        oy1 = std::max<std::int64_t>(oy1, static_cast<std::int64_t>(side) - 1);
    ox0 = std::max(ox0, tileX0);
    ox1 = std::min(ox1, tileX1);
    oy0 = std::max(oy0, tileY0);
    oy1 = std::min(oy1, tileY1);
    if (ox0 > ox1 || oy0 > oy1)
        return;

    // The blocks asked for: the crowd cells of the tile inside the view, or the tile itself
    // when the cells are larger than tiles.
    const int top = std::max(level, static_cast<int>(Tile::Zoom));
    const int shift = LeafLevel - top;
    std::vector<Cell> cells;
    std::vector<std::string> args {"EVAL", CountCells, "1", Keys::cells(tile), std::to_string(ix0),
        std::to_string(ix1), std::to_string(iy0), std::to_string(iy1), std::to_string(ox0),
        std::to_string(ox1), std::to_string(oy0), std::to_string(oy1), std::to_string(EdgePeople),
        std::to_string(top), std::to_string(LeafLevel)};
    for (std::int64_t x = ox0 >> shift; x <= ox1 >> shift; ++x) {
        for (std::int64_t y = oy0 >> shift; y <= oy1 >> shift; ++y) {
            const Cell block {static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y)};
            args.push_back(std::to_string(mortonOf(block, top)));
            args.push_back(std::to_string(x));
            args.push_back(std::to_string(y));
            const int up = top - level;
            cells.push_back({block.x >> up, block.y >> up});
        }
    }
    auto self = shared_from_this();
    ++waiting;
    const Inside inside {ix0, ix1, iy0, iy1, ox0, ox1, oy0, oy1};
    cluster.call(Keys::cells(tile), std::move(args),
        [self, tile, inside, cells = std::move(cells)](
            CallResult result) { self->onTile(tile, inside, cells, result); });
}

void CrowdCount::onTile(const Tile &tile, const Inside &inside, const std::vector<Cell> &cells,
    const CallResult &result)
{
    const auto &blocks = result.reply.elements;
    if (!result.ok() || result.reply.kind != RedisReply::Kind::Array
        || blocks.size() != cells.size()) {
        failed = true;
        return finish();
    }
    // People of the edge's own leaves: their coordinates decide.
    std::vector<std::string> read {"HMGET", Keys::coordinates(tile)};
    auto readCells = std::make_shared<std::vector<Cell>>();
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const auto &parts = blocks[i].elements;
        if (parts.empty())
            continue;
        std::size_t people = static_cast<std::size_t>(std::max(0LL, parts[0].integer));
        for (std::size_t j = 1; j + 1 < parts.size(); j += 2) {
            const Cell leaf = cellOfMorton(
                static_cast<std::uint64_t>(std::strtod(parts[j + 1].text.c_str(), nullptr)),
                LeafLevel);
            const auto x = static_cast<std::int64_t>(leaf.x);
            const auto y = static_cast<std::int64_t>(leaf.y);
            if (x >= inside.ix0 && x <= inside.ix1 && y >= inside.iy0 && y <= inside.iy1)
                ++people;
            else if (x >= inside.ox0 && x <= inside.ox1 && y >= inside.oy0 && y <= inside.oy1) {
                read.push_back(parts[j].text);
                readCells->push_back(cells[i]);
            }
        }
        if (people > 0)
            counts[cells[i]] += people;
    }
    if (!readCells->empty()) {
        auto self = shared_from_this();
        ++waiting;
        cluster.call(Keys::coordinates(tile), std::move(read),
            [self, readCells](CallResult places) { self->onEdge(*readCells, places); });
    }
    finish();
}

void CrowdCount::onEdge(const std::vector<Cell> &cells, const CallResult &places)
{
    if (!places.ok() || places.reply.elements.size() != cells.size()) {
        failed = true;
        return finish();
    }
    for (std::size_t i = 0; i < cells.size(); ++i) {
        double lat = 0;
        double lon = 0;
        if (std::sscanf(places.reply.elements[i].text.c_str(), "%lf %lf", &lat, &lon) == 2
            && view.contains(toWorld(lat, lon)))
            ++counts[cells[i]];
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
        crowd.lon = (cell.x + 0.5) / cellsPerSide * 360 - 180;
        crowd.count = count;
        answer.crowds.push_back(crowd);
    }
    finished(std::move(answer));
}

} // namespace Pinrova::Server::Redis
