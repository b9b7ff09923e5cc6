#include "spatialgrid.h"

#include <algorithm>
#include <cmath>

namespace Pinrova::Server {

namespace {

constexpr std::int64_t Side = std::int64_t(1) << SpatialGrid::Zoom;

std::int64_t clampRow(double y)
{
    return std::clamp<std::int64_t>(static_cast<std::int64_t>(std::floor(y * Side)), 0, Side - 1);
}

std::int64_t wrapColumn(std::int64_t column)
{
    return ((column % Side) + Side) % Side;
}

std::uint32_t keyOf(std::int64_t column, std::int64_t row)
{
    return static_cast<std::uint32_t>(row * Side + column);
}

} // namespace

std::uint32_t SpatialGrid::cellOf(const WorldPoint &point)
{
    const auto column = wrapColumn(static_cast<std::int64_t>(std::floor(point.x * Side)));
    return keyOf(column, clampRow(point.y));
}

SpatialGrid::Slot SpatialGrid::insert(std::uint32_t entry, const WorldPoint &point)
{
    Slot slot;
    slot.cell = cellOf(point);
    auto &entries = cells[slot.cell];
    slot.index = static_cast<std::uint32_t>(entries.size());
    entries.push_back(entry);
    return slot;
}

std::uint32_t SpatialGrid::remove(const Slot &slot)
{
    const auto it = cells.find(slot.cell);
    if (it == cells.end() || slot.index >= it->second.size())
        return UINT32_MAX;
    auto &entries = it->second;
    std::uint32_t moved = UINT32_MAX;
    if (slot.index + 1 != entries.size()) {
        entries[slot.index] = entries.back();
        moved = entries[slot.index];
    }
    entries.pop_back();
    if (entries.empty())
        cells.erase(it);
    return moved;
}

std::vector<std::uint32_t> SpatialGrid::cellsOverlapping(const MapView &view) const
{
    const auto firstColumn
        = static_cast<std::int64_t>(std::floor((view.centre.x - view.halfWidth) * Side));
    const auto lastColumn
        = static_cast<std::int64_t>(std::floor((view.centre.x + view.halfWidth) * Side));
    const auto firstRow = clampRow(view.centre.y - view.halfHeight);
    const auto lastRow = clampRow(view.centre.y + view.halfHeight);
    std::vector<std::uint32_t> keys;
    const auto columnCount = std::min<std::int64_t>(lastColumn - firstColumn + 1, Side);
    for (auto row = firstRow; row <= lastRow; ++row) {
        for (std::int64_t c = 0; c < columnCount; ++c)
            keys.push_back(keyOf(wrapColumn(firstColumn + c), row));
    }
    return keys;
}

} // namespace Pinrova::Server
