#include "identity/ratelimiter.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace Pinrova::Server::Identity {

RateLimiter::RateLimiter(double perSecond, double burst, std::size_t maxNames)
    : perSecond(perSecond)
    , burst(std::max(1.0, burst))
    , maxPerShard(std::max<std::size_t>(1, maxNames / ShardCount))
{ }

void RateLimiter::makeRoom(Shard &shard, std::int64_t nowMs)
{
    const double refillMs = burst / perSecond * 1000;
    for (auto it = shard.buckets.begin(); it != shard.buckets.end();) {
        if (static_cast<double>(nowMs - it->second.lastMs) >= refillMs)
            it = shard.buckets.erase(it);
        else
            ++it;
    }
    if (shard.buckets.size() < maxPerShard)
        return;
    // None has refilled: drop the half least recently used.
    std::vector<std::int64_t> times;
    times.reserve(shard.buckets.size());
    for (const auto &entry : shard.buckets)
        times.push_back(entry.second.lastMs);
    auto middle = times.begin() + static_cast<std::ptrdiff_t>(times.size() / 2);
    std::nth_element(times.begin(), middle, times.end());
    const std::int64_t cut = *middle;
    for (auto it = shard.buckets.begin(); it != shard.buckets.end();) {
        if (it->second.lastMs <= cut)
            it = shard.buckets.erase(it);
        else
            ++it;
    }
}

int RateLimiter::take(const Sha256 &name, std::int64_t nowMs)
{
    if (perSecond <= 0)
        return 0;
    Shard &shard = shards[name[0] % ShardCount];
    std::lock_guard lock(shard.mutex);
    auto it = shard.buckets.find(name);
    if (it == shard.buckets.end()) {
        if (shard.buckets.size() >= maxPerShard)
            makeRoom(shard, nowMs);
        it = shard.buckets.emplace(name, Bucket {burst, nowMs}).first;
    }
    Bucket &bucket = it->second;
    // A clock that went back refills nothing rather than going negative.
    const std::int64_t elapsed = std::max<std::int64_t>(0, nowMs - bucket.lastMs);
    bucket.tokens = std::min(burst, bucket.tokens + elapsed * perSecond / 1000);
    bucket.lastMs = std::max(bucket.lastMs, nowMs);
    if (bucket.tokens >= 1) {
        bucket.tokens -= 1;
        return 0;
    }
    return std::max(1, static_cast<int>(std::ceil((1 - bucket.tokens) / perSecond)));
}

} // namespace Pinrova::Server::Identity
