#include "projection.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Pinrova::Map {

namespace {
constexpr double Pi = 3.141592653589793;
constexpr double TwoPi = 6.283185307179586;
constexpr double DegreesPerRadian = 57.29577951308232;

double tilesPerAxis(int zoom)
{
    return std::ldexp(1.0, zoom);
}
} // namespace

QPointF coordinateToTile(qreal lat, qreal lon, int zoom)
{
    const double n = tilesPerAxis(zoom);
    const double a = lat * Pi / 180.0;
    const double tx = (lon + 180.0) / 360.0 * n;
    const double ty = (1.0 - std::log(std::tan(a) + 1.0 / std::cos(a)) / Pi) * 0.5 * n;
    return QPointF(tx, ty);
}

qreal tileToLongitude(qreal tx, int zoom)
{
    return tx / tilesPerAxis(zoom) * 360.0 - 180.0;
}

qreal tileToLatitude(qreal ty, int zoom)
{
    const double m = Pi - TwoPi * ty / tilesPerAxis(zoom);
    return DegreesPerRadian * std::atan((std::exp(m) - std::exp(-m)) * 0.5);
}

int reduceTileIndex(int index, int tilesPerAxis)
{
    const int r = index % tilesPerAxis;
    return r < 0 ? r + tilesPerAxis : r;
}

int truncToInt(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (value <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

int screenCoordinate(int middle, double offsetPixels)
{
    constexpr double OffScreen = 1 << 24;
    const double bounded
        = std::isnan(offsetPixels) ? 0 : std::clamp(offsetPixels, -OffScreen, OffScreen);
    return middle - truncToInt(bounded);
}

} // namespace Pinrova::Map
