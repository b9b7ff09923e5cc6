#include "embedded/crowdtally.h"

#include "store/peoplestore.h"

#include <algorithm>
#include <cmath>

namespace Pinrova::Server {

namespace {

constexpr int TileShift = 8; // 256-pixel tiles

constexpr int log2Of(int value)
{
    return value <= 1 ? 0 : 1 + log2Of(value / 2);
}

constexpr int CellShift = log2Of(Limits::CrowdCellPixels);
static_assert(1 << CellShift == Limits::CrowdCellPixels && CellShift <= TileShift,
    "a crowd cell is a power-of-two part of a tile");

// Far below a pixel at zoom 22, yet above the rounding of the view's arithmetic: a tile is
// called inside or outside only when it is so by this much.
constexpr double Margin = 1e-12;

constexpr double Pi = 3.141592653589793;

} // namespace

CrowdTally::CrowdTally(const MapView &view)
    : view(view)
    , zoom(view.zoom + TileShift - CellShift)
    , side(std::int64_t(1) << zoom)
{
    const auto rowOf = [this](double y) {
        return std::clamp<std::int64_t>(
            static_cast<std::int64_t>(std::floor(y * side)), 0, side - 1);
    };
    firstColumn = static_cast<std::int64_t>(std::floor((view.centre.x - view.halfWidth) * side));
    const auto lastColumn
        = static_cast<std::int64_t>(std::floor((view.centre.x + view.halfWidth) * side));
    columns = lastColumn - firstColumn + 1;
    if (columns >= side || view.halfWidth >= 0.5) {
        firstColumn = 0;
        columns = side;
    }
    firstColumn &= side - 1;
    firstRow = rowOf(view.centre.y - view.halfHeight);
    rows = rowOf(view.centre.y + view.halfHeight) - firstRow + 1;
    counts.assign(static_cast<std::size_t>(columns * rows), 0);
}

CrowdTally::Place CrowdTally::locate(int tileZoom, std::uint32_t column, std::uint32_t row) const
{
    const double size = 1.0 / double(std::uint64_t(1) << tileZoom);
    const double dy = std::abs((row + 0.5) * size - view.centre.y);
    if (dy - size / 2 - Margin > view.halfHeight)
        return Place::Outside;
    bool inside = dy + size / 2 + Margin <= view.halfHeight;
    if (view.halfWidth < 0.5) {
        const double dx = std::abs(wrappedDx((column + 0.5) * size, view.centre.x));
        if (dx - size / 2 - Margin > view.halfWidth)
            return Place::Outside;
        inside = inside && dx + size / 2 + Margin <= view.halfWidth;
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
    // A point on the view's very edge may round into the cell beyond it: it goes to the
    // nearest cell the view holds.
    std::int64_t across = (column - firstColumn) & (side - 1);
    if (across >= columns)
        across = across - columns < side - across ? columns - 1 : 0;
    const std::int64_t down = std::clamp<std::int64_t>(row - firstRow, 0, rows - 1);
    counts[static_cast<std::size_t>(down * columns + across)] += count;
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
            crowd.lon = x * 360 - 180;
            crowd.lat = std::atan(std::sinh(Pi * (1 - 2 * y))) * 180 / Pi;
            crowd.count = static_cast<std::size_t>(count);
            out.push_back(crowd);
        }
    }
    return out;
}

} // namespace Pinrova::Server
