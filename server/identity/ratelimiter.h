#pragma once

#include "identity/sessionkey.h"

#include <array>
#include <cstring>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace Pinrova::Server::Identity {

// A token bucket per name (a key's hash, a source address's hash): perSecond sustained, burst
// at once. Thread-safe. Names are kept while their bucket is not full again; past maxNames, the
// buckets that have refilled are dropped, and if none has, the oldest entries go, so a flood of
// new names costs bounded memory.
class RateLimiter
{
public:
    // perSecond 0 turns the limit off.
    RateLimiter(double perSecond, double burst, std::size_t maxNames = 200000);

    // 0 when the request may go ahead (and is counted); else the whole seconds until it may.
    int take(const Sha256 &name, std::int64_t nowMs);

    bool enabled() const { return perSecond > 0; }

private:
    struct Bucket
    {
        double tokens = 0;
        std::int64_t lastMs = 0;
    };
    // Names are SHA-256 digests, so any 8 of their bytes hash them well.
    struct NameHash
    {
        std::size_t operator()(const Sha256 &name) const
        {
            std::size_t value = 0;
            std::memcpy(&value, name.data() + 8, sizeof value);
            return value;
        }
    };
    struct Shard
    {
        std::mutex mutex;
        std::unordered_map<Sha256, Bucket, NameHash> buckets;
    };
    static constexpr std::size_t ShardCount = 16;

    void makeRoom(Shard &shard, std::int64_t nowMs);

    const double perSecond;
    const double burst;
    const std::size_t maxPerShard;
    std::array<Shard, ShardCount> shards;
};

} // namespace Pinrova::Server::Identity
