#include "embedded/spatialgrid.h"

#include "embedded/crowdtally.h"

#include <algorithm>
#include <cmath>

namespace Pinrova::Server {

namespace {

constexpr std::int64_t Side = std::int64_t(1) << SpatialGrid::Zoom;
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

} // namespace

SpatialGrid::SpatialGrid()
{
    for (int level = 0; level < BlockLevel; ++level)
        denseCounts.emplace_back(std::size_t(1) << (4 * level), 0);
    blocksBelow.assign(std::size_t(1) << (4 * (BlockLevel - 1)), 0);
    nodeBlocksOf.assign(blocksBelow.size(), 0);
}

std::uint32_t SpatialGrid::cellOf(const WorldPoint &point)
{
    const auto column = wrapColumn(static_cast<std::int64_t>(std::floor(point.x * Side)));
    return keyOf(column, clampRow(point.y));
}

std::uint32_t SpatialGrid::count(int level, std::uint64_t key) const
{
    return denseCounts[level][key];
}

void SpatialGrid::addCount(std::uint32_t column, std::uint32_t row, int delta)
{
    for (int level = 0; level < BlockLevel; ++level) {
        const int shift = Zoom - 2 * level;
        denseCounts[level][(std::uint64_t(row >> shift) << (2 * level)) | (column >> shift)]
            += delta;
    }
}

namespace {

std::uint32_t blockKeyOf(std::uint32_t column, std::uint32_t row)
{
    return (row >> 2) << 12 | (column >> 2);
}

// The zoom-10 node above a cell, and the bit of the cell's block in it.
std::pair<std::size_t, std::uint16_t> blockBitOf(std::uint32_t column, std::uint32_t row)
{
    const std::size_t node = std::size_t(row >> 4) << 10 | (column >> 4);
    return {node, static_cast<std::uint16_t>(1u << (((row >> 2) & 3) * 4 + ((column >> 2) & 3)))};
}

int bitIndex(std::uint16_t bit)
{
    int index = 0;
    while (bit >>= 1)
        ++index;
    return index;
}

// A cell's bit among the 16 of its block.
std::uint16_t cellBitOf(std::uint32_t column, std::uint32_t row)
{
    return static_cast<std::uint16_t>(1u << ((row & 3) * 4 + (column & 3)));
}

} // namespace

void SpatialGrid::addToNode(std::size_t node, std::uint16_t bit, std::uint16_t cellBit, int delta,
    std::uint32_t blockEntries, bool changedCell)
{
    std::uint32_t &slot = nodeBlocksOf[node];
    if (slot == 0) {
        if (freeNodeBlocks.empty()) {
            nodeBlocks.emplace_back();
            slot = static_cast<std::uint32_t>(nodeBlocks.size());
        } else {
            slot = freeNodeBlocks.back() + 1;
            freeNodeBlocks.pop_back();
            nodeBlocks[slot - 1] = NodeBlocks();
        }
    }
    NodeBlocks &below = nodeBlocks[slot - 1];
    const int block = bitIndex(bit);
    below.counts[block]
        = static_cast<std::uint16_t>(std::min<std::uint32_t>(blockEntries, Crowded));
    if (changedCell)
        below.cells[block] ^= cellBit;
    if (delta < 0 && count(BlockLevel - 1, node) == 1) {
        // The node's last entry goes (the pyramid takes it out after this).
        freeNodeBlocks.push_back(slot - 1);
        slot = 0;
    }
}

SpatialGrid::Slot SpatialGrid::insert(std::uint32_t entry, const WorldPoint &point)
{
    Slot slot;
    slot.cell = cellOf(point);
    const std::uint32_t column = slot.cell % Side;
    const std::uint32_t row = slot.cell / Side;
    Block &block = blocks[blockKeyOf(column, row)];
    const auto [node, bit] = blockBitOf(column, row);
    blocksBelow[node] |= bit;
    auto cell = std::find_if(
        block.cells.begin(), block.cells.end(), [&](const Cell &c) { return c.key == slot.cell; });
    if (cell == block.cells.end()) {
        block.cells.push_back({slot.cell, {}, {}});
        cell = std::prev(block.cells.end());
    }
    slot.index = static_cast<std::uint32_t>(cell->entries.size());
    cell->entries.push_back(entry);
    cell->points.push_back(point);
    ++block.count;
    addToNode(node, bit, cellBitOf(column, row), 1, block.count, slot.index == 0);
    addCount(column, row, 1);
    return slot;
}

std::uint32_t SpatialGrid::remove(const Slot &slot)
{
    const std::uint32_t column = slot.cell % Side;
    const std::uint32_t row = slot.cell / Side;
    const auto it = blocks.find(blockKeyOf(column, row));
    if (it == blocks.end())
        return UINT32_MAX;
    Block &block = it->second;
    const auto cell = std::find_if(
        block.cells.begin(), block.cells.end(), [&](const Cell &c) { return c.key == slot.cell; });
    if (cell == block.cells.end() || slot.index >= cell->entries.size())
        return UINT32_MAX;
    auto &entries = cell->entries;
    auto &points = cell->points;
    std::uint32_t moved = UINT32_MAX;
    if (slot.index + 1 != entries.size()) {
        entries[slot.index] = entries.back();
        points[slot.index] = points.back();
        moved = entries[slot.index];
    }
    entries.pop_back();
    points.pop_back();
    const bool emptied = entries.empty();
    if (emptied) {
        if (cell + 1 != block.cells.end())
            *cell = std::move(block.cells.back());
        block.cells.pop_back();
    }
    const auto [node, bit] = blockBitOf(column, row);
    addToNode(node, bit, cellBitOf(column, row), -1, block.count - 1, emptied);
    if (--block.count == 0) {
        blocksBelow[node] &= static_cast<std::uint16_t>(~bit);
        blocks.erase(it);
    }
    addCount(column, row, -1);
    return moved;
}

void SpatialGrid::move(const Slot &slot, const WorldPoint &point)
{
    const auto it = blocks.find(blockKeyOf(slot.cell % Side, slot.cell / Side));
    if (it == blocks.end())
        return;
    for (Cell &cell : it->second.cells) {
        if (cell.key == slot.cell && slot.index < cell.points.size()) {
            cell.points[slot.index] = point;
            return;
        }
    }
}

void SpatialGrid::countCrowds(CrowdTally &tally) const
{
    const auto where = tally.locate(0, 0, 0);
    if (where != CrowdTally::Place::Outside && count(0, 0) != 0)
        countNode(tally, 0, 0, 0, count(0, 0), where);
}

void SpatialGrid::countCell(CrowdTally &tally, const Cell &cell) const
{
    // Only where a crowd cell is finer than a grid cell: each point finds its crowd cell.
    for (const WorldPoint &point : cell.points)
        tally.addPoint(point, 1);
}

void SpatialGrid::countBlock(CrowdTally &tally, std::uint32_t column, std::uint32_t row,
    const Block &block, CrowdTally::Place where) const
{
    if (where == CrowdTally::Place::Inside && 2 * BlockLevel >= tally.cellZoom()) {
        tally.addNode(2 * BlockLevel, column, row, block.count);
        return;
    }
    for (const Cell &cell : block.cells) {
        const std::uint32_t cellColumn = cell.key % Side;
        const std::uint32_t cellRow = cell.key / Side;
        const auto place
            = where == CrowdTally::Place::Inside ? where : tally.locate(Zoom, cellColumn, cellRow);
        if (place == CrowdTally::Place::Outside)
            continue;
        if (place == CrowdTally::Place::Inside && Zoom >= tally.cellZoom())
            tally.addNode(
                Zoom, cellColumn, cellRow, static_cast<std::uint32_t>(cell.entries.size()));
        else
            countCell(tally, cell);
    }
}

// A node of the dense pyramid at zoom 2 × level, holding entries, placed against the crowd
// cells held (never Outside). A child is placed before its count is read, so the walk along
// their edge reads no counts of what lies beyond it.
void SpatialGrid::countNode(CrowdTally &tally, int level, std::uint32_t column, std::uint32_t row,
    std::uint32_t entries, CrowdTally::Place where) const
{
    const int zoom = 2 * level;
    const bool inside = where == CrowdTally::Place::Inside;
    if (inside && zoom >= tally.cellZoom()) {
        tally.addNode(zoom, column, row, entries);
        return;
    }
    const int childLevel = level + 1;
    const NodeBlocks *below = nullptr;
    std::uint16_t occupied = 0xffff;
    if (childLevel == BlockLevel) {
        below = &nodeBlocks[nodeBlocksOf[row << (2 * level) | column] - 1];
        occupied = 0;
        for (std::uint32_t bit = 0; bit < 16; ++bit)
            occupied |= below->cells[bit] != 0 ? 1u << bit : 0u;
    }
    for (std::uint32_t bit = 0; bit < 16; ++bit) {
        if (!(occupied & (1u << bit)))
            continue;
        const std::uint32_t childColumn = column * 4 + bit % 4;
        const std::uint32_t childRow = row * 4 + bit / 4;
        const auto place = inside ? where : tally.locate(2 * childLevel, childColumn, childRow);
        if (place == CrowdTally::Place::Outside)
            continue;
        if (childLevel == BlockLevel) {
            auto settled = place;
            if (settled == CrowdTally::Place::Partial) {
                // Settled when none of its occupied cells straddles the view's edge.
                bool within = false;
                bool beyond = false;
                for (std::uint32_t cellBit = 0; cellBit < 16; ++cellBit) {
                    if (!(below->cells[bit] & (1u << cellBit)))
                        continue;
                    const auto cellPlace = tally.locate(
                        Zoom, childColumn * 4 + cellBit % 4, childRow * 4 + cellBit / 4);
                    within |= cellPlace != CrowdTally::Place::Outside;
                    beyond |= cellPlace != CrowdTally::Place::Inside;
                }
                if (!within)
                    continue;
                if (!beyond)
                    settled = CrowdTally::Place::Inside;
            }
            if (settled == CrowdTally::Place::Inside && 2 * BlockLevel >= tally.cellZoom()
                && below->counts[bit] != Crowded) {
                tally.addNode(2 * BlockLevel, childColumn, childRow, below->counts[bit]);
                continue;
            }
            const auto it = blocks.find(childRow << 12 | childColumn);
            if (it != blocks.end())
                countBlock(tally, childColumn, childRow, it->second, place);
            continue;
        }
        const std::uint64_t key = std::uint64_t(childRow) << (2 * childLevel) | childColumn;
        if (childLevel == BlockLevel - 1 && place == CrowdTally::Place::Partial) {
            // A node the edge crosses is settled by where its occupied blocks lie, when none
            // of them straddles the edge; only then are its blocks read.
            const std::uint16_t blocksHere = blocksBelow[key];
            bool within = false;
            bool beyond = false;
            for (std::uint32_t block = 0; block < 16; ++block) {
                if (!(blocksHere & (1u << block)))
                    continue;
                const auto blockPlace = tally.locate(
                    2 * BlockLevel, childColumn * 4 + block % 4, childRow * 4 + block / 4);
                within |= blockPlace != CrowdTally::Place::Outside;
                beyond |= blockPlace != CrowdTally::Place::Inside;
            }
            if (!within)
                continue;
            if (!beyond && 2 * childLevel >= tally.cellZoom())
                tally.addNode(2 * childLevel, childColumn, childRow, count(childLevel, key));
            else
                countNode(tally, childLevel, childColumn, childRow, 0, place);
            continue;
        }
        const auto held = count(childLevel, key);
        if (held != 0)
            countNode(tally, childLevel, childColumn, childRow, held, place);
    }
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
