#pragma once

namespace Pinrova::Server {

// The app's map projection (spherical Mercator, 256-pixel tiles), in world units: the whole
// world is 0 … 1 on both axes, x growing east, y growing south.
struct WorldPoint
{
    double x = 0;
    double y = 0;
};

WorldPoint toWorld(double lat, double lon);

// The area a map of width × height pixels (the handset's 800 × 480 unless the client says)
// shows around a centre at a zoom level, in world units. The map repeats east-west, so x
// distances are taken around the world.
class MapView
{
public:
    MapView(double lat, double lon, int zoom, int width = 800, int height = 480);

    bool contains(const WorldPoint &point) const;
    // Squared distance from the centre in world units, for ordering.
    double distanceSquared(const WorldPoint &point) const;

    WorldPoint centre;
    double halfWidth;
    double halfHeight;
};

} // namespace Pinrova::Server
