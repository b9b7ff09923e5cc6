#include "tilecache.h"

namespace Pinrova::Sandbox {

TileCache::TileCache(std::size_t maxBytes)
    : limit(maxBytes)
{ }

std::optional<std::string> TileCache::find(std::uint64_t key)
{
    std::lock_guard lock(mutex);
    const auto it = index.find(key);
    if (it == index.end())
        return std::nullopt;
    recent.splice(recent.begin(), recent, it->second);
    return it->second->second;
}

void TileCache::insert(std::uint64_t key, std::string bytes)
{
    std::lock_guard lock(mutex);
    if (bytes.size() > limit)
        return;
    if (const auto it = index.find(key); it != index.end()) {
        total -= it->second->second.size();
        recent.erase(it->second);
        index.erase(it);
    }
    total += bytes.size();
    recent.emplace_front(key, std::move(bytes));
    index[key] = recent.begin();
    while (total > limit) {
        total -= recent.back().second.size();
        index.erase(recent.back().first);
        recent.pop_back();
    }
}

std::size_t TileCache::bytes() const
{
    std::lock_guard lock(mutex);
    return total;
}

std::size_t TileCache::count() const
{
    std::lock_guard lock(mutex);
    return index.size();
}

} // namespace Pinrova::Sandbox
