#pragma once

#include <string>
#include <vector>

namespace Pinrova::Server {
class MapView;
}

namespace Pinrova::Server::Redis {

// Redis's geo sets end at Mercator's edge (85.05112878°), and a member filed exactly there is
// missed by GEOSEARCH (Redis 7.0.15, seen here): positions and centres beyond this latitude
// are filed at it, as the map draws them at its edge.
constexpr double MaxGeoLat = 85.05;

// A latitude as a geo set can file it (see MaxGeoLat).
double geoLatitude(double lat);
// A longitude as GEOSEARCH's centre: within [-180, 180). Redis 7.0 searching from exactly 180
// misses every member west of the antimeridian; from -180 it finds them.
double geoLongitude(double lon);
// A number as a command argument: every digit a double holds, so Redis reads the same value.
std::string geoNumber(double value);

// The coarse tiles people are filed under and the geometry a nearest search needs. Tiles are
// the map's own zoom-8 tiles (256 × 256 over the world, about 156 km wide at the equator):
// a city fits in one or a few, so a view's people sit on one or a few shards, and a tile is
// coarse enough that a person reporting every few seconds seldom moves between two.
struct Tile
{
    static constexpr int Zoom = 8;
    static constexpr int PerSide = 1 << Zoom;
    // The directory of occupied tiles is kept per region of 16 × 16 tiles (zoom 4).
    static constexpr int RegionShift = 4;

    int x = 0;
    int y = 0;

    static Tile of(double lat, double lon);
    static Tile fromName(const std::string &name, bool *ok);
    std::string name() const; // "x.y"
    // The directory region holding this tile.
    Tile region() const { return {x >> RegionShift, y >> RegionShift}; }

    bool operator==(const Tile &other) const { return x == other.x && y == other.y; }
    bool operator<(const Tile &other) const { return x != other.x ? x < other.x : y < other.y; }
};

// A box in degrees; west > east when it crosses the antimeridian.
struct LatLonBox
{
    double south = -90;
    double north = 90;
    double west = -180;
    double east = 180;

    bool wholeLongitude() const { return west <= -180 && east >= 180; }
    bool intersects(const LatLonBox &other) const;
    bool contains(double lat, double lon) const;
};

// The view's box in degrees (Mercator's rows and columns are parallels and meridians).
LatLonBox boxOf(const MapView &view);
LatLonBox boxOf(const Tile &tile);
// A box holding every point within radiusKm of (lat, lon) along the sphere.
LatLonBox circleBox(double lat, double lon, double radiusKm);

// The tiles a box touches; empty when more than limit would (the caller then reads the
// directory of occupied tiles instead).
std::vector<Tile> tilesOf(const LatLonBox &box, std::size_t limit);
// The directory regions a box touches.
std::vector<Tile> regionsOf(const LatLonBox &box);

// Redis's own Earth radius (GEOSEARCH's haversine), in km.
constexpr double EarthRadiusKm = 6372.797560856;

// The farthest a point at world distance sqrt(distanceSquared) from the view's centre, inside
// the view, can be along the sphere: the straight Mercator line is a path on the sphere no
// shorter than the great circle, and shrinks by the cosine of its latitude, so the bound takes
// the cosine nearest the equator within that distance of the centre.
double groundUpperBoundKm(const MapView &view, double distanceSquared);

} // namespace Pinrova::Server::Redis
