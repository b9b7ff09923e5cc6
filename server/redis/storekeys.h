#pragma once

#include "redis/client/keyslot.h"
#include "redis/tilegeometry.h"
#include "store/peoplestore.h"
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
// The person: profile, the tile they are filed under, first registration, and "hidden" from
// a Hide until their next Register.
inline std::string person(const std::string &member)
{
    return "{p:" + member + "}";
}
// The person an installation is bound to.
inline std::string installation(const Uuid &uid)
{
    return "{u:" + uid.toHex() + "}";
}
// An installation by its uid's hex, as a person's installations name them.
inline std::string installationOfHex(const std::string &uidHex)
{
    return "{u:" + uidHex + "}";
}
inline std::string installationKeyOfHex(const std::string &uidHex)
{
    return installationOfHex(uidHex) + ":k";
}
// A session key's hash as the keys below name it: 64 lower-case hex digits.
inline std::string hashHex(const KeyHash &hash)
{
    constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * hash.size());
    for (const unsigned char byte : hash) {
        hex.push_back(digits[byte >> 4]);
        hex.push_back(digits[byte & 0xf]);
    }
    return hex;
}
// The person's installations (uid hex each), so forgetting the person reaches every one.
inline std::string installations(const std::string &member)
{
    return person(member) + ":i";
}
// "hash renewedMs": the hex SHA-256 of the installation's session key, and when the key's
// own entry below last had its expiry renewed.
inline std::string installationKey(const Uuid &uid)
{
    return installation(uid) + ":k";
}
// A live session key, by the hex of its hash: the installation (uid hex) it belongs to. A
// GetUsers checks its key with this one lookup; a new Register of the installation deletes
// the entry of the key it replaces.
inline std::string sessionKey(const std::string &hashHex)
{
    return "{k:" + hashHex + "}";
}
// The people of the tile by crowd cell: each person's score is the Morton code of the
// 2^22 × 2^22 grid cell (the crowd cells at zoom 20) they stand in, so every coarser cell is
// one score range and its count one ZCOUNT, whatever the number of people in it.
inline std::string cells(const Tile &tile)
{
    return tileTag(tile) + ":m";
}
// The last-seen time (ms) up to which the tile's silent people have been taken out of its
// crowd cells; a position files its person there again.
inline std::string cellsSilentUntil(const Tile &tile)
{
    return tileTag(tile) + ":w";
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
