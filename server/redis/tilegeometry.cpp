#include "redis/tilegeometry.h"

#include "store/mapprojection.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace Pinrova::Server::Redis {

namespace {

constexpr double Pi = 3.141592653589793;

int tileX(double lon)
{
    const double x = (lon + 180) / 360;
    return std::clamp(static_cast<int>(std::floor(x * Tile::PerSide)), 0, Tile::PerSide - 1);
}

int tileY(double lat)
{
    const double y = toWorld(lat, 0).y;
    return std::clamp(static_cast<int>(std::floor(y * Tile::PerSide)), 0, Tile::PerSide - 1);
}

double normalLon(double lon)
{
    lon = std::fmod(lon + 180, 360);
    if (lon < 0)
        lon += 360;
    return lon - 180;
}

// The tile columns a box's longitudes touch, in order, each once.
std::vector<int> columnsOf(const LatLonBox &box, int perSide)
{
    std::vector<int> columns;
    if (box.wholeLongitude()) {
        for (int x = 0; x < perSide; ++x)
            columns.push_back(x);
        return columns;
    }
    const int scale = Tile::PerSide / perSide;
    const int first = tileX(box.west) / scale;
    const int last = tileX(box.east) / scale;
    // West and east in one column with west east of east: the box wraps round the world and
    // comes back into the column it started in, so it touches every column.
    if (first == last && box.west > box.east) {
        for (int x = 0; x < perSide; ++x)
            columns.push_back(x);
        return columns;
    }
    for (int x = first;; x = (x + 1) % perSide) {
        columns.push_back(x);
        if (x == last || static_cast<int>(columns.size()) >= perSide)
            break;
    }
    return columns;
}

} // namespace

Tile Tile::of(double lat, double lon)
{
    return {tileX(normalLon(lon)), tileY(lat)};
}

Tile Tile::fromName(const std::string &name, bool *ok)
{
    Tile tile;
    const auto dot = name.find('.');
    *ok = false;
    if (dot == std::string::npos)
        return tile;
    try {
        tile.x = std::stoi(name.substr(0, dot));
        tile.y = std::stoi(name.substr(dot + 1));
        *ok = tile.x >= 0 && tile.x < PerSide && tile.y >= 0 && tile.y < PerSide;
    } catch (const std::exception &) { }
    return tile;
}

std::string Tile::name() const
{
    return std::to_string(x) + "." + std::to_string(y);
}

bool LatLonBox::contains(double lat, double lon) const
{
    if (lat < south || lat > north)
        return false;
    if (wholeLongitude())
        return true;
    return west <= east ? lon >= west && lon <= east : lon >= west || lon <= east;
}

bool LatLonBox::intersects(const LatLonBox &other) const
{
    if (other.north < south || other.south > north)
        return false;
    if (wholeLongitude() || other.wholeLongitude())
        return true;
    // Split each box at the antimeridian and compare the plain parts.
    const auto parts = [](const LatLonBox &box) {
        std::vector<std::pair<double, double>> out;
        if (box.west <= box.east)
            out.emplace_back(box.west, box.east);
        else {
            out.emplace_back(box.west, 180.0);
            out.emplace_back(-180.0, box.east);
        }
        return out;
    };
    for (const auto &[w1, e1] : parts(*this)) {
        for (const auto &[w2, e2] : parts(other)) {
            if (w1 <= e2 && w2 <= e1)
                return true;
        }
    }
    return false;
}

LatLonBox boxOf(const MapView &view)
{
    LatLonBox box;
    box.north = latOfWorldY(std::max(0.0, view.centre.y - view.halfHeight));
    box.south = latOfWorldY(std::min(1.0, view.centre.y + view.halfHeight));
    // Beyond Mercator's edge people are drawn at the edge: their latitudes belong in.
    if (box.north >= MaxMercatorLat - 1e-9)
        box.north = 90;
    if (box.south <= -MaxMercatorLat + 1e-9)
        box.south = -90;
    if (view.halfWidth >= 0.5) {
        box.west = -180;
        box.east = 180;
    } else {
        box.west = normalLon(lonOfWorldX(view.centre.x - view.halfWidth));
        box.east = normalLon(lonOfWorldX(view.centre.x + view.halfWidth));
    }
    return box;
}

LatLonBox boxOf(const Tile &tile)
{
    LatLonBox box;
    box.north = tile.y == 0 ? 90 : latOfWorldY(static_cast<double>(tile.y) / Tile::PerSide);
    box.south = tile.y == Tile::PerSide - 1
        ? -90
        : latOfWorldY(static_cast<double>(tile.y + 1) / Tile::PerSide);
    box.west = lonOfWorldX(static_cast<double>(tile.x) / Tile::PerSide);
    box.east = lonOfWorldX(static_cast<double>(tile.x + 1) / Tile::PerSide);
    return box;
}

LatLonBox circleBox(double lat, double lon, double radiusKm)
{
    // The usual bounding box of a spherical cap: latitude ± the angle, longitude ± the angle
    // widened by the parallel's shrinking, or every longitude when the cap holds a pole.
    const double angle = radiusKm / EarthRadiusKm;
    const double phi = lat * Pi / 180;
    LatLonBox box;
    const double south = phi - angle;
    const double north = phi + angle;
    box.south = std::max(-90.0, south * 180 / Pi);
    box.north = std::min(90.0, north * 180 / Pi);
    if (south <= -Pi / 2 || north >= Pi / 2 || angle >= Pi)
        return box;
    const double sinDelta = std::sin(angle) / std::cos(phi);
    if (sinDelta >= 1)
        return box;
    const double delta = std::asin(sinDelta) * 180 / Pi;
    if (delta >= 180)
        return box;
    box.west = normalLon(lon - delta);
    box.east = normalLon(lon + delta);
    if (box.west == box.east) {
        box.west = -180;
        box.east = 180;
    }
    return box;
}

std::vector<Tile> tilesOf(const LatLonBox &box, std::size_t limit)
{
    const auto columns = columnsOf(box, Tile::PerSide);
    const int top = tileY(std::min(box.north, MaxMercatorLat));
    const int bottom = tileY(std::max(box.south, -MaxMercatorLat));
    const std::size_t rows = static_cast<std::size_t>(bottom - top + 1);
    std::vector<Tile> tiles;
    if (columns.size() * rows > limit)
        return tiles;
    for (const int x : columns) {
        for (int y = top; y <= bottom; ++y)
            tiles.push_back({x, y});
    }
    return tiles;
}

std::vector<Tile> regionsOf(const LatLonBox &box)
{
    constexpr int regionsPerSide = Tile::PerSide >> Tile::RegionShift;
    const auto columns = columnsOf(box, regionsPerSide);
    const int top = tileY(std::min(box.north, MaxMercatorLat)) >> Tile::RegionShift;
    const int bottom = tileY(std::max(box.south, -MaxMercatorLat)) >> Tile::RegionShift;
    std::vector<Tile> regions;
    for (const int x : columns) {
        for (int y = top; y <= bottom; ++y)
            regions.push_back({x, y});
    }
    return regions;
}

double groundUpperBoundKm(const MapView &view, double distanceSquared)
{
    // The line from the centre stays within its own length of the centre's row.
    const double distance = std::sqrt(distanceSquared);
    const double north = latOfWorldY(std::max(0.0, view.centre.y - distance));
    const double south = latOfWorldY(std::min(1.0, view.centre.y + distance));
    const double nearestLatToEquator
        = south <= 0 && north >= 0 ? 0 : std::min(std::abs(south), std::abs(north));
    const double cosine = std::cos(nearestLatToEquator * Pi / 180);
    return distance * 2 * Pi * EarthRadiusKm * cosine;
}

double geoLatitude(double lat)
{
    return std::clamp(lat, -MaxGeoLat, MaxGeoLat);
}

double geoLongitude(double lon)
{
    return normalLon(lon);
}

std::string geoNumber(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

} // namespace Pinrova::Server::Redis
