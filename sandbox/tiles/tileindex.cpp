#include "tileindex.h"

#include <cmath>

namespace Pinrova::Sandbox {

namespace {

constexpr double Pi = 3.141592653589793;

// Digits only, at most 6 of them (2^17 has 6), so nothing overflows and "+1" or " 1" fail.
std::optional<int> readNumber(std::string_view text)
{
    if (text.empty() || text.size() > 6)
        return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

std::uint64_t TileIndex::key() const
{
    return (std::uint64_t(zoom) << 48) | (std::uint64_t(column) << 24) | std::uint64_t(row);
}

std::optional<TileIndex> parseTilePath(std::string_view path)
{
    constexpr std::string_view suffix = ".png";
    if (path.size() < 7 || path.front() != '/'
        || path.substr(path.size() - suffix.size()) != suffix)
        return std::nullopt;
    path.remove_prefix(1);
    path.remove_suffix(suffix.size());
    const auto firstSlash = path.find('/');
    const auto secondSlash = path.find('/', firstSlash == path.npos ? path.npos : firstSlash + 1);
    if (firstSlash == path.npos || secondSlash == path.npos)
        return std::nullopt;
    const auto zoom = readNumber(path.substr(0, firstSlash));
    const auto column = readNumber(path.substr(firstSlash + 1, secondSlash - firstSlash - 1));
    const auto row = readNumber(path.substr(secondSlash + 1));
    if (!zoom || !column || !row || *zoom < TileIndex::MinZoom || *zoom > TileIndex::MaxZoom)
        return std::nullopt;
    const int count = 1 << *zoom;
    if (*column >= count || *row >= count)
        return std::nullopt;
    return TileIndex {*zoom, *column, *row};
}

double tileXToLongitude(double x, int zoom)
{
    return x / std::ldexp(1.0, zoom) * 360.0 - 180.0;
}

double tileYToLatitude(double y, int zoom)
{
    return std::atan(std::sinh(Pi * (1 - 2 * y / std::ldexp(1.0, zoom)))) * 180.0 / Pi;
}

double longitudeToTileX(double lon, int zoom)
{
    return (lon + 180.0) / 360.0 * std::ldexp(1.0, zoom);
}

double latitudeToTileY(double lat, int zoom)
{
    const double a = lat * Pi / 180.0;
    return (1 - std::log(std::tan(a) + 1 / std::cos(a)) / Pi) / 2 * std::ldexp(1.0, zoom);
}

} // namespace Pinrova::Sandbox
