#pragma once

#include <QString>

namespace Pinrova::Network {

// Every server and identifier outside the application. Each has a compiled default (a CMake
// cache variable) that the environment variable of the same name overrides at run time, so the
// demo and the tests point the program at loopback without a rebuild.
enum class OutsideAddress {
    TileServer, // PINROVA_TILE_SERVER
    PositionService, // PINROVA_POSITION_SERVICE
    FacebookWeb, // PINROVA_FACEBOOK_WEB
    FacebookGraph, // PINROVA_FACEBOOK_GRAPH
    FacebookClientId, // PINROVA_FACEBOOK_CLIENT_ID
    RedirectHost, // PINROVA_REDIRECT_HOST (a bare host name)
    WebSite, // PINROVA_WEB_SITE
    VkHost, // PINROVA_VK_HOST
    VkProfile, // PINROVA_VK_PROFILE
    VkAppId, // PINROVA_VK_APP_ID
};

// The environment variable that overrides an address, e.g. "PINROVA_TILE_SERVER".
const char *outsideAddressVariable(OutsideAddress address);

// The compiled default of an address.
QString outsideAddressDefault(OutsideAddress address);

// The address in force: the environment variable when it is set and not empty, else the
// compiled default. Base URLs come without a trailing "/", so callers append paths as they are.
QString outsideAddress(OutsideAddress address);

inline QString tileServer()
{
    return outsideAddress(OutsideAddress::TileServer);
}
inline QString positionService()
{
    return outsideAddress(OutsideAddress::PositionService);
}

} // namespace Pinrova::Network
