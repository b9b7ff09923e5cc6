#pragma once

#include "embedded/crowdtally.h"
#include "store/mapprojection.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

namespace Pinrova::Server {

// Buckets of entry numbers by the zoom-14 map tile (cell) their point lies in, grouped in
// blocks of 4 × 4 cells (zoom 12), under a pyramid of counts at every second zoom level from 0
// to 10 (a node of one level holds 16 of the next) with, at zoom 10, which of its 16 blocks
// are occupied. nearest() walks the pyramid best first from the view's centre, so its cost
// follows the answer, not the population: a zoomed-out view over a city of a million visits
// the few cells nearest its centre, and over a sparse world only the occupied blocks. Only
// occupied blocks and cells are stored. Not thread-safe; the owner locks.
//
// The owner keeps only the people a list may show in the grid (PresenceModel takes out those
// silent past the forget window within one write interval), so every count of the pyramid
// means "listable people there", and a walk's cost follows the answer however many people
// the store still remembers.
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

    // The entry at slot now stands at point, in the same cell.
    void move(const Slot &slot, const WorldPoint &point);

    static std::uint32_t cellOf(const WorldPoint &point);

    // Adds to tally the entries of the crowd cells it holds. Crowd cells are nodes of the
    // pyramid, or parts of one: whole nodes are taken by their counts, and points are looked
    // at only where a crowd cell is finer than a grid cell (views deeper than zoom 12), in the
    // few grid cells under the view. A block along the held cells' edge is looked up only when
    // one of its occupied cells straddles that edge.
    void countCrowds(CrowdTally &tally) const;

    // Appends to out at most limit entries inside the view, in increasing (distance, tie)
    // order, exactly as sorting every entry would. rank(entry, Rank &) fills in the entry's
    // MapView::distanceSquared and tie, or returns false to leave it out (outside the view,
    // or not to be listed).
    template<typename RankEntry>
    void nearest(const MapView &view, std::size_t limit, RankEntry rank,
        std::vector<std::uint32_t> &out) const;

    std::size_t entryCount() const { return count(0, 0); }

private:
    static constexpr int Levels = Zoom / 2; // zoom 0, 2, … 10 counted, 12 blocks, 14 cells
    static constexpr int BlockLevel = Levels - 1;
    // A block holding at most this many entries gives them out at once, not cell by cell.
    static constexpr std::uint32_t SmallBlock = 32;

    struct Cell
    {
        std::uint32_t key = 0;
        std::vector<std::uint32_t> entries;
        // Where each entry stands, beside it: a crowd count reads these in a row.
        std::vector<WorldPoint> points;
    };
    struct Block
    {
        std::uint32_t count = 0;
        std::vector<Cell> cells; // occupied only, at most 16
    };

    // One step of the best-first walk: a pyramid node (level < BlockLevel), a block
    // (BlockLevel), a cell (Levels) or an entry (Levels + 1). A cell carries its entries: the
    // grid does not change during a walk.
    struct Step
    {
        double distance;
        std::int64_t tie;
        std::uint32_t column; // the entry number for an entry
        std::uint32_t row;
        int level;
        const std::vector<std::uint32_t> *entries;
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
    void countNode(CrowdTally &tally, int level, std::uint32_t column, std::uint32_t row,
        std::uint32_t entries, CrowdTally::Place where) const;
    void countCell(CrowdTally &tally, const Cell &cell) const;
    void countBlock(CrowdTally &tally, std::uint32_t column, std::uint32_t row, const Block &block,
        CrowdTally::Place where) const;
    void addCount(std::uint32_t column, std::uint32_t row, int delta);
    // Takes in an entry added (delta 1) or removed (-1) in the block at bit of a zoom-10 node,
    // which now holds blockEntries, in the cell at cellBit of the block; changedCell: the
    // entry began or emptied that cell.
    void addToNode(std::size_t node, std::uint16_t bit, std::uint16_t cellBit, int delta,
        std::uint32_t blockEntries, bool changedCell);
    // Lower bound of the squared distance from the view's centre to the square of a node at
    // zoom with that column and row; false when the square lies wholly outside the view.
    static bool reach(
        const MapView &view, int zoom, std::uint32_t column, std::uint32_t row, double &distance);

    std::unordered_map<std::uint32_t, Block> blocks; // by zoom-12 row << 12 | column
    std::vector<std::vector<std::uint32_t>> denseCounts; // zoom 0 … 10
    std::vector<std::uint16_t> blocksBelow; // per zoom-10 node, a bit per occupied block
    // Each occupied zoom-10 node's blocks: their counts and occupied cells. A crowd count
    // along the view's edge takes a block by its count, or passes it, without looking it up,
    // unless one of its occupied cells straddles the edge; only those blocks are read.
    // One cache line: a walk along the edge reads one per zoom-10 node it passes.
    struct alignas(64) NodeBlocks
    {
        std::array<std::uint16_t, 16> cells {}; // per block, a bit per occupied cell
        // Per block, its entries; Crowded for that many or more (then the block says).
        std::array<std::uint16_t, 16> counts {};
    };
    static constexpr std::uint16_t Crowded = UINT16_MAX;
    std::vector<std::uint32_t> nodeBlocksOf; // per zoom-10 node, 1 + index in nodeBlocks, or 0
    std::vector<NodeBlocks> nodeBlocks;
    std::vector<std::uint32_t> freeNodeBlocks; // indices in nodeBlocks not in use
};

template<typename RankEntry>
void SpatialGrid::nearest(
    const MapView &view, std::size_t limit, RankEntry rank, std::vector<std::uint32_t> &out) const
{
    if (limit == 0 || blocks.empty())
        return;
    // Kept per thread so a query allocates nothing once warm.
    thread_local std::vector<Step> steps;
    steps.clear();
    const std::greater<Step> later;
    const auto push = [&](const Step &step) {
        steps.push_back(step);
        std::push_heap(steps.begin(), steps.end(), later);
    };
    const auto pushEntries = [&](const std::vector<std::uint32_t> &entries) {
        for (const auto entry : entries) {
            Rank ranked;
            if (rank(entry, ranked))
                push({ranked.distance, ranked.tie, entry, 0, Levels + 1, nullptr});
        }
    };
    double distance = 0;
    if (reach(view, 0, 0, 0, distance))
        push({distance, 0, 0, 0, 0, nullptr});
    std::size_t found = 0;
    while (!steps.empty() && found < limit) {
        std::pop_heap(steps.begin(), steps.end(), later);
        const Step step = steps.back();
        steps.pop_back();
        if (step.level > Levels) {
            out.push_back(step.column);
            ++found;
        } else if (step.level == Levels) {
            pushEntries(*step.entries);
        } else if (step.level == BlockLevel) {
            const auto it = blocks.find(step.row << 12 | step.column);
            if (it == blocks.end())
                continue;
            const Block &block = it->second;
            for (const Cell &cell : block.cells) {
                if (block.count <= SmallBlock) {
                    pushEntries(cell.entries);
                    continue;
                }
                const std::uint32_t column = cell.key % (std::uint32_t(1) << Zoom);
                const std::uint32_t row = cell.key >> Zoom;
                if (reach(view, Zoom, column, row, distance))
                    push({distance, 0, column, row, Levels, &cell.entries});
            }
        } else if (step.level == BlockLevel - 1) {
            const std::uint16_t occupied = blocksBelow[step.row << (2 * step.level) | step.column];
            for (std::uint32_t bit = 0; bit < 16; ++bit) {
                if (!(occupied & (1u << bit)))
                    continue;
                const std::uint32_t column = step.column * 4 + bit % 4;
                const std::uint32_t row = step.row * 4 + bit / 4;
                if (reach(view, 2 * BlockLevel, column, row, distance))
                    push({distance, 0, column, row, BlockLevel, nullptr});
            }
        } else {
            const int childLevel = step.level + 1;
            const int childZoom = 2 * childLevel;
            for (std::uint32_t bit = 0; bit < 16; ++bit) {
                const std::uint32_t column = step.column * 4 + bit % 4;
                const std::uint32_t row = step.row * 4 + bit / 4;
                if (count(childLevel, std::uint64_t(row) << childZoom | column) != 0
                    && reach(view, childZoom, column, row, distance))
                    push({distance, 0, column, row, childLevel, nullptr});
            }
        }
    }
}

} // namespace Pinrova::Server
