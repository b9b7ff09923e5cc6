#pragma once

#include "store/mapprojection.h"

#include <cstdint>
#include <vector>

namespace Pinrova::Server {

struct Crowd;

// The people of one map view counted per crowd cell: squares of Limits::CrowdCellPixels world
// pixels at the view's zoom, which are the map tiles a few zoom levels deeper (cellZoom()).
// Only the cells the view touches are held, each once however often the world repeats in a
// wide view. Counts may be added and taken away in any order; crowds() gives the cells left
// holding someone.
class CrowdTally
{
public:
    enum class Place { Outside, Partial, Inside };

    explicit CrowdTally(const MapView &view);

    // The zoom level whose tiles are the crowd cells.
    int cellZoom() const { return zoom; }

    // Where the tile at zoom (column, row) lies against the view, with a margin that makes
    // Inside certain for every point the tile can hold and Outside certain for none.
    Place locate(int tileZoom, std::uint32_t column, std::uint32_t row) const;
    // count people in a tile at tileZoom >= cellZoom() (so within one crowd cell).
    void addNode(int tileZoom, std::uint32_t column, std::uint32_t row, std::int64_t count);
    // count people at a point inside the view.
    void addPoint(const WorldPoint &point, std::int64_t count);

    // The cells holding people, at their centres.
    std::vector<Crowd> crowds() const;

private:
    void add(std::int64_t column, std::int64_t row, std::int64_t count);

    const MapView view;
    const int zoom;
    const std::int64_t side; // tiles across the world at zoom
    std::int64_t firstColumn = 0;
    std::int64_t columns = 0;
    std::int64_t firstRow = 0;
    std::int64_t rows = 0;
    std::vector<std::int64_t> counts; // by row, then column, from the first ones
};

} // namespace Pinrova::Server
