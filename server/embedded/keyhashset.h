#pragma once

#include "store/peoplestore.h"

#include <cstring>
#include <unordered_set>

namespace Pinrova::Server {

// A key hash is the SHA-256 of a key the service drew at random, so its first bytes are
// already evenly spread. A client can choose which hash it asks about but not which ones are
// stored, so no choice of its own can crowd a bucket.
struct KeyHashHash
{
    std::size_t operator()(const KeyHash &hash) const
    {
        std::size_t value;
        std::memcpy(&value, hash.data(), sizeof value);
        return value;
    }
};

using KeyHashSet = std::unordered_set<KeyHash, KeyHashHash>;

} // namespace Pinrova::Server
