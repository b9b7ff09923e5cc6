#pragma once

#include "base/limits.h"
#include "redis/tilegeometry.h"
#include "store/peoplestore.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Pinrova::Server::Redis {

class RedisCluster;
struct CallResult;
struct RedisStoreConfig;

// The deepest zoom's crowd cells are the finest grid people are filed by.
constexpr int LeafLevel = Limits::MaxZoom + CrowdCellZoomOffset;
// A Morton code of LeafLevel bits per axis must be a double's exact integer (a sorted set's
// score).
static_assert(2 * LeafLevel <= 52);

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

// The crowd cells of a nearest answer: for each occupied tile of the view one script counts
// the people of each crowd cell the view touches with one ZCOUNT of the Morton index, whole
// cells being score ranges. The cost grows with the view's cells, not with the people
// counted. People silent for longer than config.forgetMs are taken out of the index on the way,
// from where the tile's last count stopped, so each is taken out once, not read each time.
// Lives on the cluster's thread, owned by itself until done.
class CrowdCount : public std::enable_shared_from_this<CrowdCount>
{
public:
    using Done = std::function<void(NearestAnswer)>;

    // tiles: every tile of boxOfCells(view) that may hold people.
    static void start(RedisCluster &cluster, const RedisStoreConfig &config, const MapView &view,
        const std::vector<Tile> &tiles, NearestAnswer answer, Done done);
    // The crowd cells the view touches, whole: at zooms where they are larger than tiles, they
    // reach tiles beyond the view.
    static LatLonBox boxOfCells(const MapView &view);

    // People newly silent one count of a tile takes out of its cells at most (more only when
    // they share the last one's time): some 7 µs of the shard's time each, so a backlog (a
    // tile nobody looked at while many fell silent) holds a shard about 3 ms a call at most
    // and is worked off over later counts, which meanwhile count some silent people still.
    static constexpr int SilentBatch = 256;

private:
    // The cells' level: the view's zoom + CrowdCellZoomOffset.
    static int levelOf(const MapView &view)
    {
        return std::clamp(view.zoom, 0, Limits::MaxZoom) + CrowdCellZoomOffset;
    }

    CrowdCount(RedisCluster &cluster, const RedisStoreConfig &config, const MapView &view,
        NearestAnswer answer, Done done);
    void countTile(const Tile &tile);
    void onTile(const std::vector<Cell> &cells, const CallResult &result);
    void finish();

    RedisCluster &cluster;
    const RedisStoreConfig &config;
    const int level; // the cells' level: levelOf(view)
    const TileSpan touched; // the cells the view touches
    const std::int64_t silentBeforeMs; // people last seen earlier are not counted
    NearestAnswer answer;
    Done done;
    std::map<Cell, std::size_t> counts;
    std::size_t waiting = 1;
    bool failed = false;
};

} // namespace Pinrova::Server::Redis
