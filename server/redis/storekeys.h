#pragma once

#include "redis/client/keyslot.h"
#include "redis/tilegeometry.h"
#include "store/uuid.h"

#include <string>

// The cluster store's keys. Every key carries its hash tag, so a tile's keys share one shard,
// a person's one and an installation's one, and a script may touch all keys of one tag.
// Every key of a person or installation expires retainMs after their last Register or
// position, a tile's keys retainMs after its last position, and each position removes the
// silent people of its tile: nobody walks the data to delete it.
namespace Pinrova::Server::Redis::Keys {

inline std::string tileTag(const Tile &tile)
{
    return "{t:" + tile.name() + "}";
}
// Geo set of the people whose newest position is in the tile.
inline std::string geo(const Tile &tile)
{
    return tileTag(tile) + ":g";
}
// Their last-seen times (ms), for "online" and retention.
inline std::string seen(const Tile &tile)
{
    return tileTag(tile) + ":s";
}
// "lat lon seen" each: the exact coordinates, which the geo set rounds.
inline std::string coordinates(const Tile &tile)
{
    return tileTag(tile) + ":c";
}
// Their profile fragments, copied so a view's answer needs the tile's shard only.
inline std::string profiles(const Tile &tile)
{
    return tileTag(tile) + ":p";
}
// The tiles ever occupied in a 16 × 16 region, by name, for zoomed-out views.
inline std::string region(const Tile &region)
{
    return "{r:" + region.name() + "}";
}
// A person is their network identity; the member names them in a tile's sets.
inline std::string personMember(int network, const std::string &id)
{
    return std::to_string(network) + ":" + id;
}
// The person: profile, the tile they are filed under, first registration.
inline std::string person(const std::string &member)
{
    return "{p:" + member + "}";
}
// The person an installation is bound to.
inline std::string installation(const Uuid &uid)
{
    return "{u:" + uid.toHex() + "}";
}
// The monitoring figures are kept as people go, in CountShards shards so that no one shard takes
// every write: in the shard of a person (by the slot of their member), `{k:n}:a` holds each
// person's last Register or position and `{k:n}:s` their last position (ms). A scrape counts
// each shard's sets, whatever the population.
constexpr int CountShards = 16;
inline int countShard(const std::string &member)
{
    return static_cast<int>(keySlot(member) % CountShards);
}
inline std::string countTag(int shard)
{
    return "{k:" + std::to_string(shard) + "}";
}
inline std::string active(int shard)
{
    return countTag(shard) + ":a";
}
inline std::string positioned(int shard)
{
    return countTag(shard) + ":s";
}

} // namespace Pinrova::Server::Redis::Keys
