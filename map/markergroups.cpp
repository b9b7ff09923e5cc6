#include "markergroups.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "projection.h"

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
        const auto column = quint32(truncToInt(std::floor(p.x() / extent)));
        const auto row = quint32(truncToInt(std::floor(p.y() / extent)));
        return (quint64(column) << 32) | row;
    };
    // The points by cell, in one sorted array: a cell's points are found by binary search,
    // without a hash's allocations.
    struct Entry
    {
        quint64 cell;
        int point;
        bool operator<(const Entry &o) const
        {
            return cell != o.cell ? cell < o.cell : point < o.point;
        }
    };
    std::vector<Entry> byCell;
    byCell.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        if (i != alone)
            byCell.push_back({cellOf(points[i]), i});
    }
    std::sort(byCell.begin(), byCell.end());

    std::vector<bool> taken(std::size_t(count), false);
    QVector<MarkerGroup> groups;
    groups.reserve(count);
    for (int i = 0; i < count; ++i) {
        if (taken[std::size_t(i)])
            continue;
        taken[std::size_t(i)] = true;
        MarkerGroup group;
        group.anchor = i;
        group.members.append(i);
        group.online = online.value(i);
        if (i != alone) {
            const QPointF &at = points[i];
            const quint64 cell = cellOf(at);
            const auto column = quint32(cell >> 32);
            const auto row = quint32(cell);
            for (quint32 dx = column - 1; dx != column + 2; ++dx) {
                for (quint32 dy = row - 1; dy != row + 2; ++dy) {
                    const quint64 key = (quint64(dx) << 32) | dy;
                    auto it = std::lower_bound(byCell.begin(), byCell.end(), Entry {key, -1});
                    for (; it != byCell.end() && it->cell == key; ++it) {
                        const int j = it->point;
                        if (taken[std::size_t(j)])
                            continue;
                        const QPointF d = points[j] - at;
                        if (std::abs(d.x()) < extent && std::abs(d.y()) < extent) {
                            taken[std::size_t(j)] = true;
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
