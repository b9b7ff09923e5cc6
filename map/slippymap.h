#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QUrl>

#include "projection.h"
#include "qpointhash.h"

class QNetworkAccessManager;
class QNetworkReply;
class QPainter;
class QSize;

namespace Pinrova::Map {

// The tile engine behind the map view: it holds the view's centre, zoom and size, works out
// which OpenStreetMap tiles cover the view, fetches the missing ones one at a time, keeps the
// loaded ones in memory and paints them. Painting and input belong to MapWidget.
class SlippyMap : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(SlippyMap)

public:
    explicit SlippyMap(QObject *parent = nullptr);
    ~SlippyMap() override;

    // Stored as passed; callers follow every setter with relayout().
    void setCenter(qreal lat, qreal lon);
    void setViewSize(const QSize &size);
    // Levels outside 3 ... 17 are ignored; the tile cache is emptied either way.
    void setZoom(int z);
    // How long a tile request may stall before it fails (TileTimeoutMs unless changed), and with
    // it the whole request's deadline; for requests started after the call. Values below 1 and
    // above an hour are ignored.
    void setTileTimeout(int ms);
    int tileTimeout() const { return tileTimeoutMs; }

    void relayout();
    void paintTiles(QPainter *painter, const QRect &rect);
    // Moves the centre so the content follows a pointer moved by delta pixels.
    void panBy(const QPoint &delta);
    QRect tileScreenRect(const QPoint &tile) const;

    int zoomLevel() const { return zoom; }
    qreal latitude() const { return centerLat; }
    qreal longitude() const { return centerLon; }
    QRect visibleTiles() const { return tileRange; }
    QPoint tileOffset() const { return firstTileOffset; }
    QUrl tileInFlight() const { return currentTileUrl; }
    // Reduced indices of the tiles held in memory, and whether one is the grey placeholder.
    QList<QPoint> cachedTiles() const { return tileCache.keys(); }
    bool isPlaceholder(const QPoint &tile) const;

    // Tiles farther than this outside the view are dropped from memory after every reply.
    static constexpr int EvictionMargin = 5;
    // A tile body larger than this is cut off and the tile shows grey.
    static constexpr qint64 MaximumTileBytes = 4 * 1024 * 1024;
    // Decoded tiles may be at most this many pixels on either edge.
    static constexpr int MaximumTileEdge = 1024;
    // A tile request that stalls this long fails, so one dead request cannot hold up the rest.
    static constexpr int TileTimeoutMs = 30000;
    // A tile request still running after this many times the stall limit fails too, however
    // steadily its bytes come: a slow link brings a tile in seconds, a trickle never.
    static constexpr int TileDeadlineFactor = 4;
    // Keeps the deadline within what a timer holds.
    static constexpr int MaximumTileTimeoutMs = 3600 * 1000;

signals:
    void updated(QRect rect);

public slots:
    void handleNetworkData(QNetworkReply *reply);
    void Download();

private:
    void fetchNextTile();
    void evictDistantTiles();

    int viewWidth = 0;
    int viewHeight = 0;
    int zoom = DefaultZoom;
    qreal centerLat = 59.944069;
    qreal centerLon = 30.306141;
    QPoint firstTileOffset;
    QRect tileRange;
    QPixmap placeholderTile;
    QHash<QPoint, QPixmap> tileCache;
    QNetworkAccessManager *network = nullptr;
    QUrl currentTileUrl;
    int tileTimeoutMs = TileTimeoutMs;
    QList<QNetworkReply *> pendingReplies;
};

} // namespace Pinrova::Map
