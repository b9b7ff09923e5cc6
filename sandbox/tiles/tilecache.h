#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

namespace Pinrova::Sandbox {

// Encoded tiles kept in memory, least recently used dropped first once their bytes pass the
// bound. Safe to use from any thread.
class TileCache
{
public:
    explicit TileCache(std::size_t maxBytes);

    std::optional<std::string> find(std::uint64_t key);
    void insert(std::uint64_t key, std::string bytes);

    std::size_t bytes() const;
    std::size_t count() const;

private:
    using Entry = std::pair<std::uint64_t, std::string>;
    const std::size_t limit;
    mutable std::mutex mutex;
    std::list<Entry> recent; // most recently used first
    std::unordered_map<std::uint64_t, std::list<Entry>::iterator> index;
    std::size_t total = 0;
};

} // namespace Pinrova::Sandbox
