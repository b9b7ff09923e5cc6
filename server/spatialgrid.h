#pragma once

#include "mapprojection.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

namespace Pinrova::Server {

// Buckets of entry numbers by the zoom-14 map tile their point lies in, under a pyramid of
// counts at every second zoom level from 0 to 12 (a node of one level holds 16 of the next).
// nearest() walks the pyramid best first from the view's centre, so its cost follows the
// answer, not the population: a zoomed-out view over a city of a million visits the few
// cells nearest its centre. Only occupied cells are stored. Not thread-safe; the owner locks.
class SpatialGrid
{
public:
    static constexpr int Zoom = 14;

    struct Slot
    {
        std::uint32_t cell = 0;
        std::uint32_t index = 0;
    };

    // How nearest() orders an entry: by distance, then by tie.
    struct Rank
    {
        double distance = 0;
        std::int64_t tie = 0;
    };

    SpatialGrid();

    // Adds entry at point; returns where it went, which the caller keeps for remove().
    Slot insert(std::uint32_t entry, const WorldPoint &point);
    // Removes the entry at slot. The entry that takes its place is returned (its slot index
    // changes to slot.index) so the caller can update it; UINT32_MAX when none moved.
    std::uint32_t remove(const Slot &slot);

    static std::uint32_t cellOf(const WorldPoint &point);

    // Appends to out at most limit entries inside the view, in increasing (distance, tie)
    // order, exactly as sorting every entry would. rank(entry, Rank &) fills in the entry's
    // MapView::distanceSquared and tie, or returns false to leave it out (outside the view,
    // or not to be listed).
    template<typename RankEntry>
    void nearest(const MapView &view, std::size_t limit, RankEntry rank,
        std::vector<std::uint32_t> &out) const;

    std::size_t entryCount() const { return count(0, 0); }

private:
    static constexpr int Levels = Zoom / 2; // count levels at zoom 0, 2, … 12

    // One step of the best-first walk: a pyramid node (level < Levels), a cell
    // (level == Levels) or an entry (level == Levels + 1).
    struct Step
    {
        double distance;
        std::int64_t tie;
        std::uint32_t column; // the entry number for an entry
        std::uint32_t row;
        int level;
        // Greater is later. At an equal distance nodes and cells come before entries, so
        // an entry is never given out while something as near is still unopened.
        bool operator>(const Step &other) const
        {
            if (distance != other.distance)
                return distance > other.distance;
            const bool entry = level > Levels;
            const bool otherEntry = other.level > Levels;
            if (entry != otherEntry)
                return entry;
            return tie > other.tie;
        }
    };

    std::uint32_t count(int level, std::uint64_t key) const;
    void addCount(std::uint32_t column, std::uint32_t row, int delta);
    // Lower bound of the squared distance from the view's centre to the square of a node at
    // zoom with that column and row; false when the square lies wholly outside the view.
    static bool reach(
        const MapView &view, int zoom, std::uint32_t column, std::uint32_t row, double &distance);

    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> cells;
    // Dense counts for zoom 0 … 10, hashed for zoom 12, where most nodes are empty.
    std::vector<std::vector<std::uint32_t>> denseCounts;
    std::unordered_map<std::uint32_t, std::uint32_t> zoom12Counts;
};

template<typename RankEntry>
void SpatialGrid::nearest(
    const MapView &view, std::size_t limit, RankEntry rank, std::vector<std::uint32_t> &out) const
{
    if (limit == 0 || cells.empty())
        return;
    // Kept per thread so a query allocates nothing once warm.
    thread_local std::vector<Step> steps;
    steps.clear();
    const std::greater<Step> later;
    const auto push = [&](const Step &step) {
        steps.push_back(step);
        std::push_heap(steps.begin(), steps.end(), later);
    };
    double distance = 0;
    if (reach(view, 0, 0, 0, distance))
        push({distance, 0, 0, 0, 0});
    std::size_t found = 0;
    while (!steps.empty() && found < limit) {
        std::pop_heap(steps.begin(), steps.end(), later);
        const Step step = steps.back();
        steps.pop_back();
        if (step.level > Levels) {
            out.push_back(step.column);
            ++found;
            continue;
        }
        if (step.level == Levels) {
            const auto it = cells.find(step.row * (std::uint32_t(1) << Zoom) + step.column);
            if (it == cells.end())
                continue;
            for (const auto entry : it->second) {
                Rank ranked;
                if (rank(entry, ranked))
                    push({ranked.distance, ranked.tie, entry, 0, Levels + 1});
            }
            continue;
        }
        const int childLevel = step.level + 1;
        const int childZoom = 2 * childLevel;
        for (std::uint32_t dy = 0; dy < 4; ++dy) {
            for (std::uint32_t dx = 0; dx < 4; ++dx) {
                const std::uint32_t column = step.column * 4 + dx;
                const std::uint32_t row = step.row * 4 + dy;
                const bool occupied = childLevel == Levels
                    ? cells.count(row * (std::uint32_t(1) << Zoom) + column) != 0
                    : count(childLevel, std::uint64_t(row) << childZoom | column) != 0;
                if (occupied && reach(view, childZoom, column, row, distance))
                    push({distance, 0, column, row, childLevel});
            }
        }
    }
}

} // namespace Pinrova::Server
