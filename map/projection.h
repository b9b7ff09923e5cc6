#pragma once

#include <QPointF>
#include <QtGlobal>

namespace Pinrova::Map {

constexpr int TileSize = 256;
constexpr int MinimumZoom = 3;
constexpr int MaximumZoom = 17;
constexpr int DefaultZoom = 13;

// Web-Mercator projection between degrees and fractional OpenStreetMap tile coordinates at a
// zoom level (2^zoom tiles per axis).
QPointF coordinateToTile(qreal lat, qreal lon, int zoom);
qreal tileToLatitude(qreal ty, int zoom);
qreal tileToLongitude(qreal tx, int zoom);

// Reduces a tile column or row into 0 ... n - 1, so the map repeats in both directions.
int reduceTileIndex(int index, int tilesPerAxis);

// Truncates toward zero into an int, saturating at the int range; NaN gives 0. The projection
// yields huge or undefined values for coordinates beyond the poles, which must not turn into
// undefined integer conversions.
int truncToInt(double value);

// The screen coordinate offsetPixels before middle (the offset truncated toward zero). An offset
// beyond the int range (a centre far outside the world) stops at a bound far off screen that
// leaves room for marker offsets, instead of overflowing; NaN counts as no offset.
int screenCoordinate(int middle, double offsetPixels);

} // namespace Pinrova::Map
