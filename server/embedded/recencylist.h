#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace Pinrova::Server {

// Entry numbers ordered by when they last reported, oldest first, in a doubly linked list
// kept in vectors. Moving an entry to the newest end, taking it out and finding the oldest
// all cost O(1), so the owner can drop those who fell silent and count those who are recent
// without looking at everyone. Each entry is ordered by its report time, raised where needed
// to the newest entry's (clocks of several threads, or a clock set back): the order stays
// sorted, and an entry is never ordered older than it is. Not thread-safe; the owner locks.
class RecencyList
{
public:
    static constexpr std::uint32_t None = UINT32_MAX;

    // Links entry, or moves it, to the newest end, reported at timeMs.
    void touch(std::uint32_t entry, std::int64_t timeMs);
    // Links entries (entry, report time) not linked yet, given oldest first, each where its
    // time puts it: for positions read back from the file, which come in any order.
    void merge(const std::vector<std::pair<std::int64_t, std::uint32_t>> &sorted);
    // Unlinks entry; nothing when it is not linked.
    void remove(std::uint32_t entry);
    bool contains(std::uint32_t entry) const { return entry < links.size() && links[entry].linked; }
    // The oldest entry when it is ordered before beforeMs, else None.
    std::uint32_t oldestBefore(std::int64_t beforeMs) const;
    // Entries ordered at or after sinceMs. Costs the number of entries that crossed sinceMs
    // since the last call: a few for a time that moves forward steadily.
    std::size_t countSince(std::int64_t sinceMs);
    std::size_t size() const { return linkedCount; }

private:
    struct Link
    {
        std::uint32_t older = None;
        std::uint32_t newer = None;
        std::int64_t orderMs = 0;
        bool linked = false;
    };

    std::vector<Link> links;
    std::uint32_t oldest = None;
    std::uint32_t newest = None;
    std::size_t linkedCount = 0;
    // countSince's cursor: the oldest entry ordered at or after sinceMs (None: no such
    // entry), and how many entries that is from there to the newest.
    std::int64_t cursorMs = INT64_MIN;
    std::uint32_t firstRecent = None;
    std::size_t recentCount = 0;
};

} // namespace Pinrova::Server
