#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace Pinrova::Sandbox {

// One map tile in the OpenStreetMap scheme: 2^zoom columns and rows, row 0 at the north.
struct TileIndex
{
    int zoom = 0;
    int column = 0;
    int row = 0;

    // The zoom levels the application asks for.
    static constexpr int MinZoom = 3;
    static constexpr int MaxZoom = 17;

    std::uint64_t key() const;
    bool operator==(const TileIndex &other) const
    {
        return zoom == other.zoom && column == other.column && row == other.row;
    }
};

// Reads "/{z}/{x}/{y}.png" with plain decimal numbers; nothing for any other path, a zoom
// outside MinZoom..MaxZoom or a column or row outside 0..2^z-1.
std::optional<TileIndex> parseTilePath(std::string_view path);

// Web-Mercator edges of tiles in degrees; x and y are tile coordinates at the given zoom and
// may be fractional.
double tileXToLongitude(double x, int zoom);
double tileYToLatitude(double y, int zoom);
double longitudeToTileX(double lon, int zoom);
double latitudeToTileY(double lat, int zoom);

} // namespace Pinrova::Sandbox
