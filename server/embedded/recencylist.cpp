#include "embedded/recencylist.h"

#include <algorithm>

namespace Pinrova::Server {

void RecencyList::remove(std::uint32_t entry)
{
    if (!contains(entry))
        return;
    Link &link = links[entry];
    if (link.orderMs >= cursorMs)
        --recentCount;
    if (firstRecent == entry)
        firstRecent = link.newer;
    (link.older == None ? oldest : links[link.older].newer) = link.newer;
    (link.newer == None ? newest : links[link.newer].older) = link.older;
    link = Link();
    --linkedCount;
}

void RecencyList::touch(std::uint32_t entry, std::int64_t timeMs)
{
    remove(entry);
    if (entry >= links.size())
        links.resize(std::size_t(entry) + 1);
    Link &link = links[entry];
    link.orderMs = newest == None ? timeMs : std::max(timeMs, links[newest].orderMs);
    link.older = newest;
    link.newer = None;
    link.linked = true;
    (newest == None ? oldest : links[newest].newer) = entry;
    newest = entry;
    ++linkedCount;
    if (link.orderMs >= cursorMs) {
        ++recentCount;
        if (firstRecent == None)
            firstRecent = entry;
    }
}

void RecencyList::merge(const std::vector<std::pair<std::int64_t, std::uint32_t>> &sorted)
{
    std::uint32_t next = oldest; // the first linked entry ordered after the one to insert
    for (const auto &[timeMs, entry] : sorted) {
        if (contains(entry))
            continue;
        while (next != None && links[next].orderMs <= timeMs)
            next = links[next].newer;
        if (entry >= links.size())
            links.resize(std::size_t(entry) + 1);
        Link &link = links[entry];
        link.orderMs = timeMs;
        link.linked = true;
        link.newer = next;
        link.older = next == None ? newest : links[next].older;
        (link.older == None ? oldest : links[link.older].newer) = entry;
        (next == None ? newest : links[next].older) = entry;
        ++linkedCount;
    }
    // Counted afresh from the oldest at the next countSince.
    cursorMs = INT64_MIN;
    firstRecent = oldest;
    recentCount = linkedCount;
}

std::uint32_t RecencyList::oldestBefore(std::int64_t beforeMs) const
{
    return oldest != None && links[oldest].orderMs < beforeMs ? oldest : None;
}

std::size_t RecencyList::countSince(std::int64_t sinceMs)
{
    if (sinceMs >= cursorMs) {
        while (firstRecent != None && links[firstRecent].orderMs < sinceMs) {
            firstRecent = links[firstRecent].newer;
            --recentCount;
        }
    } else {
        // The time moved back (a clock set back): take in the older entries now recent.
        std::uint32_t older = firstRecent == None ? newest : links[firstRecent].older;
        while (older != None && links[older].orderMs >= sinceMs) {
            firstRecent = older;
            ++recentCount;
            older = links[older].older;
        }
    }
    cursorMs = sinceMs;
    return recentCount;
}

} // namespace Pinrova::Server
