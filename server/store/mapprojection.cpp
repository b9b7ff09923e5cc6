#include "store/mapprojection.h"

#include <algorithm>
#include <cmath>

namespace Pinrova::Server {

namespace {

constexpr double Pi = 3.141592653589793;
constexpr double TileSize = 256;

} // namespace

double wrappedDx(double a, double b)
{
    double dx = a - b;
    dx -= std::floor(dx + 0.5);
    return dx;
}

double latOfWorldY(double y)
{
    return std::atan(std::sinh(Pi * (1 - 2 * y))) * 180 / Pi;
}

double lonOfWorldX(double x)
{
    return x * 360 - 180;
}

WorldPoint toWorld(double lat, double lon)
{
    const double clamped = std::clamp(lat, -MaxMercatorLat, MaxMercatorLat);
    const double a = clamped * Pi / 180;
    WorldPoint point;
    point.x = (lon + 180) / 360;
    point.y = (1 - std::log(std::tan(a) + 1 / std::cos(a)) / Pi) * 0.5;
    return point;
}

MapView::MapView(double lat, double lon, int zoom, int width, int height)
    : lat(lat)
    , lon(lon)
    , zoom(zoom)
    , centre(toWorld(lat, lon))
    , halfWidth(width / 2.0 / (TileSize * std::ldexp(1.0, zoom)))
    , halfHeight(height / 2.0 / (TileSize * std::ldexp(1.0, zoom)))
{ }

bool MapView::contains(const WorldPoint &point) const
{
    return std::abs(wrappedDx(point.x, centre.x)) <= halfWidth
        && std::abs(point.y - centre.y) <= halfHeight;
}

double MapView::distanceSquared(const WorldPoint &point) const
{
    const double dx = wrappedDx(point.x, centre.x);
    const double dy = point.y - centre.y;
    return dx * dx + dy * dy;
}

TileSpan tilesTouched(const MapView &view, int zoom)
{
    const double side = std::ldexp(1.0, zoom);
    const auto last = static_cast<std::int64_t>(side) - 1;
    const auto rowOf = [side, last](double y) {
        return std::clamp<std::int64_t>(static_cast<std::int64_t>(std::floor(y * side)), 0, last);
    };
    TileSpan span;
    span.y0 = rowOf(view.centre.y - view.halfHeight);
    span.y1 = rowOf(view.centre.y + view.halfHeight);
    span.x0 = static_cast<std::int64_t>(std::floor((view.centre.x - view.halfWidth) * side));
    span.x1 = static_cast<std::int64_t>(std::floor((view.centre.x + view.halfWidth) * side));
    if (view.halfWidth >= 0.5 || span.x1 - span.x0 >= last) {
        span.x0 = 0;
        span.x1 = last;
    }
    return span;
}

} // namespace Pinrova::Server
