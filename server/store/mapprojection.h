#pragma once

#include "base/limits.h"

#include <cstdint>

namespace Pinrova::Server {

// Mercator's y is infinite at the poles; this is where the square world map ends.
constexpr double MaxMercatorLat = 85.0511287798066;

// The app's map projection (spherical Mercator, 256-pixel tiles), in world units: the whole
// world is 0 … 1 on both axes, x growing east, y growing south.
struct WorldPoint
{
    double x = 0;
    double y = 0;
};

WorldPoint toWorld(double lat, double lon);
// The way back, for y within 0 … 1 (the edges are Mercator's, ±MaxMercatorLat) and any x.
double latOfWorldY(double y);
double lonOfWorldX(double x);

// a − b in world x, taken the short way around the world: the map repeats east-west.
double wrappedDx(double a, double b);

// The area a map of width × height pixels (the handset's unless the client says) shows
// around a centre at a zoom level, in world units. The map repeats east-west, so x distances
// are taken around the world.
class MapView
{
public:
    MapView(double lat, double lon, int zoom, int width = Limits::DefaultViewWidth,
        int height = Limits::DefaultViewHeight);

    bool contains(const WorldPoint &point) const;
    // Squared distance from the centre in world units, for ordering.
    double distanceSquared(const WorldPoint &point) const;

    // The centre as asked for, in degrees, and the zoom level.
    double lat;
    double lon;
    int zoom;
    WorldPoint centre;
    double halfWidth;
    double halfHeight;
};

// The squares of a grid 2^zoom a side (the map tiles of that zoom) that a view touches,
// inclusive: columns may run past either side of the world, as the map repeats, and are the
// whole world's (0 … 2^zoom − 1) when they would cover it; rows end at the world's edges, so a
// view beyond Mercator's edge holds the outermost row, where people beyond it stand.
struct TileSpan
{
    std::int64_t x0, x1, y0, y1;
};
TileSpan tilesTouched(const MapView &view, int zoom);

} // namespace Pinrova::Server
