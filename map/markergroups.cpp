#include "markergroups.h"

#include <QHash>
#include <QPoint>

#include <algorithm>
#include <cmath>

#include "projection.h"
#include "qpointhash.h"

namespace Pinrova::Map {

QPointF worldPixel(qreal lat, qreal lon, int zoom)
{
    return coordinateToTile(lat, lon, zoom) * TileSize;
}

QVector<MarkerGroup> groupMarkers(
    const QVector<QPointF> &points, const QVector<bool> &online, int alone, qreal extent)
{
    const int count = points.size();
    // Saturating: a position beyond the poles projects to infinity, which must not become an
    // undefined integer conversion.
    const auto cellOf = [extent](const QPointF &p) {
        return QPoint(
            truncToInt(std::floor(p.x() / extent)), truncToInt(std::floor(p.y() / extent)));
    };
    QHash<QPoint, QVector<int>> cells;
    cells.reserve(count);
    for (int i = 0; i < count; ++i) {
        if (i != alone)
            cells[cellOf(points[i])].append(i);
    }

    QVector<bool> taken(count, false);
    QVector<MarkerGroup> groups;
    groups.reserve(count);
    for (int i = 0; i < count; ++i) {
        if (taken[i])
            continue;
        taken[i] = true;
        MarkerGroup group;
        group.anchor = i;
        group.members.append(i);
        group.online = online.value(i);
        if (i != alone) {
            const QPointF &at = points[i];
            const QPoint cell = cellOf(at);
            for (int dx = -1; dx <= 1; ++dx) {
                for (int dy = -1; dy <= 1; ++dy) {
                    const auto found = cells.constFind(cell + QPoint(dx, dy));
                    if (found == cells.constEnd())
                        continue;
                    for (const int j : *found) {
                        if (taken[j])
                            continue;
                        const QPointF d = points[j] - at;
                        if (std::abs(d.x()) < extent && std::abs(d.y()) < extent) {
                            taken[j] = true;
                            group.members.append(j);
                            group.online = group.online || online.value(j);
                        }
                    }
                }
            }
            std::sort(group.members.begin(), group.members.end());
        }
        groups.append(group);
    }
    return groups;
}

int splitZoom(const QVector<QPointF> &positions, int from, int maxZoom, qreal extent)
{
    QVector<QPointF> points(positions.size());
    const QVector<bool> online(positions.size(), false);
    for (int zoom = from + 1; zoom <= maxZoom; ++zoom) {
        for (int i = 0; i < positions.size(); ++i)
            points[i] = worldPixel(positions[i].x(), positions[i].y(), zoom);
        if (groupMarkers(points, online, -1, extent).size() > 1)
            return zoom;
    }
    return 0;
}

} // namespace Pinrova::Map
