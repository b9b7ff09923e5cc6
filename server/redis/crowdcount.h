#pragma once

#include "base/limits.h"
#include "redis/tilegeometry.h"
#include "store/peoplestore.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Pinrova::Server::Redis {

class RedisCluster;
struct CallResult;

// Crowd cells are map tiles CellLevelOffset levels below the view's zoom (64 world pixels of
// a 256-pixel tile); the deepest zoom's cells are the finest grid people are filed by.
constexpr int cellLevelOffset()
{
    int offset = 0;
    for (int pixels = Limits::CrowdCellPixels; pixels < 256; pixels *= 2)
        ++offset;
    return offset;
}
constexpr int CellLevelOffset = cellLevelOffset();
constexpr int LeafLevel = Limits::MaxZoom + CellLevelOffset;
// A Morton code of LeafLevel bits per axis must be a double's exact integer (a sorted set's
// score).
static_assert(256 >> CellLevelOffset == Limits::CrowdCellPixels && 2 * LeafLevel <= 52);

// A cell of the grid at some level: column x, row y.
struct Cell
{
    std::uint32_t x = 0;
    std::uint32_t y = 0;

    bool operator<(const Cell &other) const { return x != other.x ? x < other.x : y < other.y; }
};

// The finest cell a position is filed under, always inside Tile::of(lat, lon).
Cell leafOf(double lat, double lon);
// The Morton code of a cell at a level: x's bits in the even places, y's in the odd.
std::uint64_t mortonOf(const Cell &cell, int level);
Cell cellOfMorton(std::uint64_t code, int level);

// The crowd cells of a nearest answer: for each occupied tile of the view one script counts,
// per cell, the people of the blocks of the Morton index that lie inside the view (one ZCOUNT
// each) and hands back the few people of the blocks the view's edge cuts with their finest
// cells; only those in the edge's own finest cells have their coordinates read. The cost grows
// with the view's cells and edge, not with the people counted. Lives on the
// cluster's thread, owned by itself until done.
class CrowdCount : public std::enable_shared_from_this<CrowdCount>
{
public:
    using Done = std::function<void(NearestAnswer)>;

    // tiles: every tile of the view that may hold people.
    static void start(RedisCluster &cluster, const MapView &view, const std::vector<Tile> &tiles,
        NearestAnswer answer, Done done);

    // An edge block holding at most this many people has them checked one by one.
    static constexpr int EdgePeople = 32;

private:
    CrowdCount(RedisCluster &cluster, const MapView &view, NearestAnswer answer, Done done);
    void countTile(const Tile &tile);
    void countTile(const Tile &tile, std::optional<double> centreX);
    // The view in leaves: those wholly inside (i…) and those it touches (o…), inclusive.
    struct Inside
    {
        std::int64_t ix0, ix1, iy0, iy1, ox0, ox1, oy0, oy1;
    };
    void onTile(const Tile &tile, const Inside &inside, const std::vector<Cell> &cells,
        const CallResult &result);
    void onEdge(const std::vector<Cell> &cells, const CallResult &places);
    void finish();

    RedisCluster &cluster;
    const MapView view;
    const int level; // the cells' level: the view's zoom + CellLevelOffset
    NearestAnswer answer;
    Done done;
    std::map<Cell, std::size_t> counts;
    std::size_t waiting = 1;
    bool failed = false;
};

} // namespace Pinrova::Server::Redis
