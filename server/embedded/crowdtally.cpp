#include "embedded/crowdtally.h"

#include "store/peoplestore.h"

#include <algorithm>
#include <cmath>

namespace Pinrova::Server {

CrowdTally::CrowdTally(const MapView &view)
    : zoom(view.zoom + CrowdCellZoomOffset)
    , side(std::int64_t(1) << zoom)
{
    const TileSpan span = tilesTouched(view, zoom);
    firstColumn = span.x0 & (side - 1);
    columns = span.x1 - span.x0 + 1;
    firstRow = span.y0;
    rows = span.y1 - span.y0 + 1;
    counts.assign(static_cast<std::size_t>(columns * rows), 0);
}

CrowdTally::Place CrowdTally::locate(int tileZoom, std::uint32_t column, std::uint32_t row) const
{
    // The tile's first cell and its width in cells; a tile finer than a cell is in one.
    std::int64_t firstCell = 0;
    std::int64_t rowCell = 0;
    std::int64_t span = 1;
    if (tileZoom >= zoom) {
        firstCell = std::int64_t(column) >> (tileZoom - zoom);
        rowCell = std::int64_t(row) >> (tileZoom - zoom);
    } else {
        span = std::int64_t(1) << (zoom - tileZoom);
        firstCell = std::int64_t(column) * span;
        rowCell = std::int64_t(row) * span;
    }
    const std::int64_t down = rowCell - firstRow;
    if (down + span <= 0 || down >= rows)
        return Place::Outside;
    bool inside = down >= 0 && down + span <= rows;
    if (columns < side) {
        // The held columns may run over the antimeridian; a tile never does.
        const std::int64_t across = (firstCell - firstColumn) & (side - 1);
        if (across >= columns && across + span <= side)
            return Place::Outside;
        inside = inside && across + span <= columns;
    }
    return inside ? Place::Inside : Place::Partial;
}

void CrowdTally::addNode(int tileZoom, std::uint32_t column, std::uint32_t row, std::int64_t count)
{
    const int shift = tileZoom - zoom;
    add(column >> shift, row >> shift, count);
}

void CrowdTally::addPoint(const WorldPoint &point, std::int64_t count)
{
    // side is a power of two: the mask wraps negative columns too.
    const auto column = static_cast<std::int64_t>(std::floor(point.x * side)) & (side - 1);
    const auto row = std::clamp<std::int64_t>(
        static_cast<std::int64_t>(std::floor(point.y * side)), 0, side - 1);
    add(column, row, count);
}

void CrowdTally::add(std::int64_t column, std::int64_t row, std::int64_t count)
{
    const std::int64_t across = (column - firstColumn) & (side - 1);
    if (across >= columns || row < firstRow || row >= firstRow + rows)
        return;
    counts[static_cast<std::size_t>((row - firstRow) * columns + across)] += count;
}

std::vector<Crowd> CrowdTally::crowds() const
{
    std::vector<Crowd> out;
    for (std::int64_t down = 0; down < rows; ++down) {
        for (std::int64_t across = 0; across < columns; ++across) {
            const std::int64_t count = counts[static_cast<std::size_t>(down * columns + across)];
            if (count <= 0)
                continue;
            const double x = (double((firstColumn + across) % side) + 0.5) / double(side);
            const double y = (double(firstRow + down) + 0.5) / double(side);
            Crowd crowd;
            crowd.lon = lonOfWorldX(x);
            crowd.lat = latOfWorldY(y);
            crowd.count = static_cast<std::size_t>(count);
            out.push_back(crowd);
        }
    }
    return out;
}

} // namespace Pinrova::Server
