#pragma once

#include "base/limits.h"

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

} // namespace Pinrova::Server
