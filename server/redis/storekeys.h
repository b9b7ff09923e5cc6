#pragma once

#include "tilegeometry.h"

#include <string>

namespace Pinrova::Server::Redis::Keys {

// Every key carries its hash tag: a tile's keys share one shard, a person's one, an
// installation's one.
inline std::string tileTag(const Tile &tile)
{
    return "{t:" + tile.name() + "}";
}
inline std::string geo(const Tile &tile)
{
    return tileTag(tile) + ":g";
}
inline std::string seen(const Tile &tile)
{
    return tileTag(tile) + ":s";
}
inline std::string coordinates(const Tile &tile)
{
    return tileTag(tile) + ":c";
}
inline std::string profiles(const Tile &tile)
{
    return tileTag(tile) + ":p";
}
// The occupied tiles of a 16 × 16 region, by name.
inline std::string region(const Tile &region)
{
    return "{r:" + region.name() + "}";
}
// A person is their network identity.
inline std::string personMember(int network, const std::string &id)
{
    return std::to_string(network) + ":" + id;
}
inline std::string person(const std::string &member)
{
    return "{p:" + member + "}";
}
inline std::string installation(const std::string &uidHex)
{
    return "{u:" + uidHex + "}";
}
inline std::string peopleCount()
{
    return "pinrova:people";
}

} // namespace Pinrova::Server::Redis::Keys
