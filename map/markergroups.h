#pragma once

#include <QPointF>
#include <QVector>

namespace Pinrova::Map {

// One marker the map draws: a person alone, or the people whose markers would overlap it.
struct MarkerGroup
{
    int anchor = -1; // the person (list index) at whose point the marker stands
    QVector<int> members; // list indices, ascending; the anchor among them
    bool online = false; // anybody in it is online

    bool isGroup() const { return members.size() > 1; }
};

// A position's pixel on the whole world's map at a zoom level (256 << zoom pixels a side).
QPointF worldPixel(qreal lat, qreal lon, int zoom);

// Groups points (world pixels at one zoom) whose markers would overlap, greedily in the
// points' order: each point not yet taken becomes an anchor and takes every point not yet taken
// that lies closer than extent on both axes. Anchors are therefore at least extent apart, so
// no two drawn markers overlap, and the result depends on the points alone, never on the view:
// panning cannot regroup. The point at index alone (or none for -1) is an anchor that takes
// nobody and nobody takes. Neighbours are found through a grid of extent-sized cells, so a
// long list costs about as much per point as a short one.
QVector<MarkerGroup> groupMarkers(
    const QVector<QPointF> &points, const QVector<bool> &online, int alone, qreal extent);

// The lowest zoom level above from, up to maxZoom, at which these positions (lat, lon) no
// longer make one group; 0 when even maxZoom keeps them together.
int splitZoom(const QVector<QPointF> &positions, int from, int maxZoom, qreal extent);

} // namespace Pinrova::Map
