#include "calmtilepainter.h"

#include <QBuffer>
#include <QPainter>

#include <cmath>

#include "streetgrid.h"
#include "tileindex.h"

namespace Pinrova::Sandbox {

namespace {

constexpr int TileSize = 256;
constexpr double MinGridSpacing = 100; // pixels between graticule lines, at least
const QColor Land(242, 239, 233);
const QColor StreetFill(255, 255, 255);
const QColor StreetCasing(218, 210, 200);
const QColor GridLine(110, 130, 170, 110);

QFont labelFont(int pixelSize)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    return font;
}

const QString LabelCharacters = QStringLiteral("0123456789.°NSEW/");

int decimalsFor(double step)
{
    for (int decimals = 0; decimals < 6; ++decimals) {
        const double scaled = step * std::pow(10.0, decimals);
        if (std::fabs(scaled - std::round(scaled)) < 1e-6)
            return decimals;
    }
    return 6;
}

QString degreesText(double value, int decimals, QChar positive, QChar negative)
{
    const double magnitude = std::fabs(value);
    QString text = QString::number(magnitude, 'f', decimals) + QChar(0x00B0);
    // The equator, the prime meridian and the antimeridian belong to neither hemisphere.
    if (magnitude < 1e-9 || std::fabs(magnitude - 180.0) < 1e-9)
        return text;
    return text + (value > 0 ? positive : negative);
}

// Street line width in pixels; no streets below zoom 14, where blocks would be a few pixels.
double streetWidth(int zoom)
{
    switch (zoom) {
    case 14:
        return 1.5;
    case 15:
        return 3.5;
    case 16:
        return 6.5;
    case 17:
        return 11;
    default:
        return 0;
    }
}

} // namespace

CalmTilePainter::CalmTilePainter()
    : labels(labelFont(10), QColor(80, 92, 115), LabelCharacters)
    , corner(labelFont(9), QColor(165, 165, 165), LabelCharacters)
{ }

double CalmTilePainter::gridStep(double pixelsPerDegree)
{
    static const double ladder[] = {0.0002, 0.0005, 0.001, 0.002, 0.005, 0.01, 0.02, 0.05, 0.1, 0.2,
        0.5, 1, 2, 5, 10, 15, 30, 45, 90};
    for (const double step : ladder) {
        if (step * pixelsPerDegree >= MinGridSpacing)
            return step;
    }
    return 90;
}

QImage CalmTilePainter::render(const TileIndex &tile) const
{
    const int z = tile.zoom;
    const double left = tileXToLongitude(tile.column, z);
    const double right = tileXToLongitude(tile.column + 1, z);
    const double top = tileYToLatitude(tile.row, z);
    const double bottom = tileYToLatitude(tile.row + 1, z);
    const auto xOf
        = [&](double lon) { return (longitudeToTileX(lon, z) - tile.column) * TileSize; };
    const auto yOf = [&](double lat) { return (latitudeToTileY(lat, z) - tile.row) * TileSize; };

    QImage image(TileSize, TileSize, QImage::Format_RGB32);
    image.fill(Land);
    QPainter painter(&image);

    if (const double width = streetWidth(z); width > 0) {
        painter.setRenderHint(QPainter::Antialiasing);
        const auto firstColumn
            = static_cast<long>(std::floor(left / StreetGrid::LongitudeStep)) - 1;
        const auto lastColumn = static_cast<long>(std::ceil(right / StreetGrid::LongitudeStep)) + 1;
        const auto firstRow = static_cast<long>(std::floor(bottom / StreetGrid::LatitudeStep)) - 1;
        const auto lastRow = static_cast<long>(std::ceil(top / StreetGrid::LatitudeStep)) + 1;
        // Casings first, then fills, so crossings stay open.
        for (const auto &[color, pen] :
            {std::pair(StreetCasing, width + 2), std::pair(StreetFill, width)}) {
            painter.setPen(QPen(color, pen, Qt::SolidLine, Qt::FlatCap));
            for (long k = firstColumn; k <= lastColumn; ++k) {
                const double x = xOf(k * StreetGrid::LongitudeStep);
                painter.drawLine(QPointF(x, -20), QPointF(x, TileSize + 20));
            }
            for (long k = firstRow; k <= lastRow; ++k) {
                const double y = yOf(k * StreetGrid::LatitudeStep);
                painter.drawLine(QPointF(-20, y), QPointF(TileSize + 20, y));
            }
        }
        painter.setRenderHint(QPainter::Antialiasing, false);
    }

    const double pixelsPerLonDegree = TileSize * std::ldexp(1.0, z) / 360.0;
    const double middle = tileYToLatitude(tile.row + 0.5, z);
    const double lonStep = gridStep(pixelsPerLonDegree);
    const double latStep
        = gridStep(pixelsPerLonDegree / std::cos(middle * 3.141592653589793 / 180.0));
    const int lonDecimals = decimalsFor(lonStep);
    const int latDecimals = decimalsFor(latStep);

    painter.setPen(QPen(GridLine, 1));
    for (long k = static_cast<long>(std::ceil(left / lonStep)); k * lonStep < right; ++k) {
        const double lon = k * lonStep;
        const int x = static_cast<int>(std::floor(xOf(lon)));
        painter.drawLine(x, 0, x, TileSize - 1);
        const QString text = degreesText(lon, lonDecimals, QLatin1Char('E'), QLatin1Char('W'));
        if (x + 4 + labels.width(text) <= TileSize - 2)
            labels.draw(painter, x + 4, 3, text);
    }
    for (long k = static_cast<long>(std::ceil(bottom / latStep)); k * latStep < top; ++k) {
        const double lat = k * latStep;
        const int y = static_cast<int>(std::floor(yOf(lat)));
        painter.drawLine(0, y, TileSize - 1, y);
        const QString text = degreesText(lat, latDecimals, QLatin1Char('N'), QLatin1Char('S'));
        // Kept clear of the longitude labels along the top edge.
        if (y - labels.height() - 1 >= labels.height() + 4)
            labels.draw(painter, 4, y - labels.height() - 1, text);
    }

    corner.draw(painter, 4, TileSize - corner.height() - 2,
        QStringLiteral("%1/%2/%3").arg(tile.zoom).arg(tile.column).arg(tile.row));
    painter.end();
    return image;
}

QByteArray CalmTilePainter::png(const TileIndex &tile) const
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    render(tile).save(&buffer, "PNG");
    return bytes;
}

} // namespace Pinrova::Sandbox
