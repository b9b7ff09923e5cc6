#include "spatialgrid.h"

#include <algorithm>
#include <cmath>

namespace Pinrova::Server {

namespace {

constexpr std::int64_t Side = std::int64_t(1) << SpatialGrid::Zoom;
constexpr int HashedLevel = 6; // zoom 12: 16.7 million nodes, too many to hold densely
// Widens every node's square by far less than a pixel at zoom 20 (about 4e-9), so rounding
// can never make a node look farther than an entry inside it.
constexpr double Margin = 1e-12;

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

double wrappedDx(double a, double b)
{
    double dx = a - b;
    dx -= std::floor(dx + 0.5);
    return dx;
}

} // namespace

SpatialGrid::SpatialGrid()
{
    for (int level = 0; level < HashedLevel; ++level)
        denseCounts.emplace_back(std::size_t(1) << (4 * level), 0);
}

std::uint32_t SpatialGrid::cellOf(const WorldPoint &point)
{
    const auto column = wrapColumn(static_cast<std::int64_t>(std::floor(point.x * Side)));
    return keyOf(column, clampRow(point.y));
}

std::uint32_t SpatialGrid::count(int level, std::uint64_t key) const
{
    if (level < HashedLevel)
        return denseCounts[level][key];
    const auto it = zoom12Counts.find(static_cast<std::uint32_t>(key));
    return it == zoom12Counts.end() ? 0 : it->second;
}

void SpatialGrid::addCount(std::uint32_t column, std::uint32_t row, int delta)
{
    for (int level = 0; level < Levels; ++level) {
        const int shift = Zoom - 2 * level;
        const std::uint64_t key = (std::uint64_t(row >> shift) << (2 * level)) | (column >> shift);
        if (level < HashedLevel) {
            denseCounts[level][key] += delta;
            continue;
        }
        const auto k = static_cast<std::uint32_t>(key);
        if ((zoom12Counts[k] += delta) == 0)
            zoom12Counts.erase(k);
    }
}

SpatialGrid::Slot SpatialGrid::insert(std::uint32_t entry, const WorldPoint &point)
{
    Slot slot;
    slot.cell = cellOf(point);
    auto &entries = cells[slot.cell];
    slot.index = static_cast<std::uint32_t>(entries.size());
    entries.push_back(entry);
    addCount(slot.cell % Side, slot.cell / Side, 1);
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
    addCount(slot.cell % Side, slot.cell / Side, -1);
    return moved;
}

bool SpatialGrid::reach(
    const MapView &view, int zoom, std::uint32_t column, std::uint32_t row, double &distance)
{
    const double size = std::ldexp(1.0, -zoom);
    const double dx = std::max(
        0.0, std::abs(wrappedDx((column + 0.5) * size, view.centre.x)) - size / 2 - Margin);
    const double dy
        = std::max(0.0, std::abs((row + 0.5) * size - view.centre.y) - size / 2 - Margin);
    if (dx > view.halfWidth || dy > view.halfHeight)
        return false;
    distance = dx * dx + dy * dy;
    return true;
}

} // namespace Pinrova::Server
