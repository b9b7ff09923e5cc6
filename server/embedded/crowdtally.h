#pragma once

#include "store/mapprojection.h"

#include <cstdint>
#include <vector>

namespace Pinrova::Server {

struct Crowd;

// The people of one map view counted per crowd cell: squares of Limits::CrowdCellPixels world
// pixels at the view's zoom, which are the map tiles a few zoom levels deeper (cellZoom()).
// The cells the view touches are held whole, each once however often the world repeats in a
// wide view: a cell's count does not change as the view pans, and whole cells are nodes of a
// pyramid of counts, so nobody needs to be looked at one by one along the view's edge. Counts
// may be added and taken away in any order; crowds() gives the cells left holding someone.
class CrowdTally
{
public:
    enum class Place { Outside, Partial, Inside };

    explicit CrowdTally(const MapView &view);

    // The zoom level whose tiles are the crowd cells.
    int cellZoom() const { return zoom; }

    // Where the tile at zoom (column, row) lies against the cells held.
    Place locate(int tileZoom, std::uint32_t column, std::uint32_t row) const;
    // count people in a held tile at tileZoom >= cellZoom() (so within one crowd cell).
    void addNode(int tileZoom, std::uint32_t column, std::uint32_t row, std::int64_t count);
    // count people at a point; a point outside the cells held is left out.
    void addPoint(const WorldPoint &point, std::int64_t count);

    // The cells holding people, at their centres.
    std::vector<Crowd> crowds() const;

private:
    void add(std::int64_t column, std::int64_t row, std::int64_t count);

    const int zoom;
    const std::int64_t side; // tiles across the world at zoom
    std::int64_t firstColumn = 0;
    std::int64_t columns = 0;
    std::int64_t firstRow = 0;
    std::int64_t rows = 0;
    std::vector<std::int64_t> counts; // by row, then column, from the first ones
};

} // namespace Pinrova::Server
