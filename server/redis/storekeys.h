#pragma once

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
// How many people were ever registered and not yet deleted, for monitoring.
inline std::string peopleCount()
{
    return "pinrova:people";
}

} // namespace Pinrova::Server::Redis::Keys
