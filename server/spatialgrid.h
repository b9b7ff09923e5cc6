#pragma once

#include "mapprojection.h"

#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace Pinrova::Server {

// Buckets of entry numbers by the zoom-14 map tile their point lies in. A fixed grid in the
// app's own projection makes every query a small rectangle of cells: at the app's zoom levels
// (13 by default) a view spans a few dozen cells, and above zoom 14 at most four. Only
// occupied cells are stored, so a low-zoom view over the whole world visits the occupied
// cells instead of the empty ones. Not thread-safe; the owner locks.
class SpatialGrid
{
public:
    static constexpr int Zoom = 14;

    struct Slot
    {
        std::uint32_t cell = 0;
        std::uint32_t index = 0;
    };

    // Adds entry at point; returns where it went, which the caller keeps for remove().
    Slot insert(std::uint32_t entry, const WorldPoint &point);
    // Removes the entry at slot. The entry that takes its place is returned (its slot index
    // changes to slot.index) so the caller can update it; UINT32_MAX when none moved.
    std::uint32_t remove(const Slot &slot);

    static std::uint32_t cellOf(const WorldPoint &point);

    // Calls visit(entry) for every entry in the cells the view overlaps (a superset of the
    // entries inside the view).
    template<typename Visit> void forEachNear(const MapView &view, Visit visit) const;

private:
    std::vector<std::uint32_t> cellsOverlapping(const MapView &view) const;
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> cells;
};

template<typename Visit> void SpatialGrid::forEachNear(const MapView &view, Visit visit) const
{
    constexpr double side = 1 << Zoom;
    const double columns = std::floor((view.centre.x + view.halfWidth) * side)
        - std::floor((view.centre.x - view.halfWidth) * side) + 1;
    const double rows = std::floor((view.centre.y + view.halfHeight) * side)
        - std::floor((view.centre.y - view.halfHeight) * side) + 1;
    if (columns * rows >= static_cast<double>(cells.size())) {
        for (const auto &[key, entries] : cells) {
            for (auto entry : entries)
                visit(entry);
        }
        return;
    }
    for (auto key : cellsOverlapping(view)) {
        const auto it = cells.find(key);
        if (it == cells.end())
            continue;
        for (auto entry : it->second)
            visit(entry);
    }
}

} // namespace Pinrova::Server
