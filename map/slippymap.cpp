#include "slippymap.h"

#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPainter>
#include <QStandardPaths>
#include <QTimer>

#include <cmath>

#include "boundedimage.h"
#include "outsideaddresses.h"
#include "replylimit.h"

namespace Pinrova::Map {

namespace {

// Request attributes: which tile, and at which zoom level it was asked for.
constexpr auto TileAttribute = QNetworkRequest::User;
constexpr auto ZoomAttribute = static_cast<QNetworkRequest::Attribute>(QNetworkRequest::User + 1);

const QByteArray UserAgent = QByteArrayLiteral("Pinrova. Qt mobile application.");

// Beyond this the projected centre is meaningless (a latitude past the poles, NaN): nothing is
// laid out rather than overflowing the tile arithmetic.
constexpr double MaximumTileCoordinate = 1.0e9;

// Division rounding toward negative infinity; for the non-negative values of a real view it
// equals plain division.
int floorDiv(int value, int divisor)
{
    return value >= 0 ? value / divisor : -((-value + divisor - 1) / divisor);
}

} // namespace

SlippyMap::SlippyMap(QObject *parent)
    : QObject(parent)
    , placeholderTile(TileSize, TileSize)
    , network(new QNetworkAccessManager(this))
{
    placeholderTile.fill(Qt::lightGray);

    auto *cache = new QNetworkDiskCache(network);
    cache->setCacheDirectory(QStandardPaths::writableLocation(QStandardPaths::CacheLocation));
    network->setCache(cache);

    connect(network, &QNetworkAccessManager::finished, this, &SlippyMap::handleNetworkData);
}

SlippyMap::~SlippyMap()
{
    // Deleting a running reply may announce it as finished; the engine is going away.
    disconnect(network, nullptr, this, nullptr);
    qDeleteAll(pendingReplies);
    pendingReplies.clear();
}

void SlippyMap::setCenter(qreal lat, qreal lon)
{
    centerLat = lat;
    centerLon = lon;
}

void SlippyMap::setViewSize(const QSize &size)
{
    viewWidth = size.width();
    viewHeight = size.height();
}

void SlippyMap::setZoom(int z)
{
    if (z >= MinimumZoom && z <= MaximumZoom && z != zoom) {
        zoom = z;
        // A tile of the old level would keep the one fetch slot until it answers or times
        // out, and the new level would stay grey meanwhile; relayout() starts the new one.
        const QList<QNetworkReply *> abandoned = pendingReplies;
        pendingReplies.clear();
        currentTileUrl.clear();
        for (QNetworkReply *reply : abandoned)
            reply->abort();
    }
    tileCache.clear();
}

void SlippyMap::setTileTimeout(int ms)
{
    if (ms > 0 && ms <= MaximumTileTimeoutMs)
        tileTimeoutMs = ms;
}

void SlippyMap::relayout()
{
    if (viewWidth <= 0)
        return;

    const QPointF ct = coordinateToTile(centerLat, centerLon, zoom);
    const double tx = ct.x();
    const double ty = ct.y();
    if (!std::isfinite(tx) || !std::isfinite(ty) || std::abs(tx) > MaximumTileCoordinate
        || std::abs(ty) > MaximumTileCoordinate)
        return;

    // Where the top-left corner of the tile under the centre falls on screen.
    const int xp = truncToInt(viewWidth / 2 - (tx - std::floor(tx)) * TileSize);
    const int yp = truncToInt(viewHeight / 2 - (ty - std::floor(ty)) * TileSize);

    const int xa = floorDiv(xp + TileSize - 1, TileSize);
    const int ya = floorDiv(yp + TileSize - 1, TileSize);

    const int centerColumn = truncToInt(tx);
    const int centerRow = truncToInt(ty);
    const int left = centerColumn - xa;
    const int top = centerRow - ya;
    firstTileOffset = QPoint(xp - TileSize * xa, yp - TileSize * ya);

    const int right = centerColumn + floorDiv(viewWidth - xp - 1, TileSize);
    const int bottom = centerRow + floorDiv(viewHeight - yp - 1, TileSize);
    tileRange = QRect(QPoint(left, top), QPoint(right, bottom));

    if (currentTileUrl.isEmpty())
        fetchNextTile();

    emit updated(QRect(0, 0, viewWidth, viewHeight));
}

QRect SlippyMap::tileScreenRect(const QPoint &tile) const
{
    const int x = (tile.x() - tileRange.left()) * TileSize + firstTileOffset.x();
    const int y = (tile.y() - tileRange.top()) * TileSize + firstTileOffset.y();
    return QRect(x, y, TileSize, TileSize);
}

bool SlippyMap::isPlaceholder(const QPoint &tile) const
{
    const auto it = tileCache.constFind(tile);
    return it != tileCache.constEnd() && it->cacheKey() == placeholderTile.cacheKey();
}

void SlippyMap::paintTiles(QPainter *painter, const QRect &rect)
{
    const int n = 1 << zoom;
    for (int c = tileRange.left(); c <= tileRange.right() + 1; ++c) {
        for (int r = tileRange.top(); r <= tileRange.bottom() + 1; ++r) {
            const QRect box = tileScreenRect(QPoint(c, r));
            if (!box.intersects(rect))
                continue;
            const QPoint key(reduceTileIndex(c, n), reduceTileIndex(r, n));
            const auto it = tileCache.constFind(key);
            const QPixmap &pixmap = it != tileCache.constEnd() ? *it : placeholderTile;
            painter->drawPixmap(QRectF(box), pixmap, QRectF(pixmap.rect()));
        }
    }
}

void SlippyMap::panBy(const QPoint &delta)
{
    const QPointF ct = coordinateToTile(centerLat, centerLon, zoom);
    constexpr qreal PixelInTiles = 1.0 / TileSize;
    centerLat = tileToLatitude(ct.y() - delta.y() * PixelInTiles, zoom);
    centerLon = tileToLongitude(ct.x() - delta.x() * PixelInTiles, zoom);

    if (centerLat > 85)
        centerLat = 85;
    if (centerLat < -85)
        centerLat = -85;

    // Wrap into (-180, 180] in steps of 0.00001 degrees. Floating-point remainder keeps
    // far-off values from overflowing an integer.
    const double k = std::trunc((centerLon + 180) * 100000);
    const double r = std::fmod(k, 36000000.0);
    centerLon = r > 0 ? r / 100000 - 180 : r / 100000 + 180;

    relayout();
}

void SlippyMap::Download()
{
    fetchNextTile();
}

void SlippyMap::fetchNextTile()
{
    const int n = 1 << zoom;
    bool found = false;
    QPoint candidate;
    // Column by column from the left; the last column with a gap wins, so tiles arrive column
    // by column from the right, each column from the top.
    for (int c = tileRange.left(); c <= tileRange.right() + 1; ++c) {
        for (int r = tileRange.top(); r <= tileRange.bottom() + 1; ++r) {
            const QPoint key(reduceTileIndex(c, n), reduceTileIndex(r, n));
            if (!tileCache.contains(key)) {
                candidate = key;
                found = true;
                break;
            }
        }
    }
    if (!found) {
        currentTileUrl = QUrl();
        return;
    }

    const QString path
        = QStringLiteral("/%1/%2/%3.png").arg(zoom).arg(candidate.x()).arg(candidate.y());
    currentTileUrl = QUrl(Network::tileServer() + path);

    QNetworkRequest request(currentTileUrl);
    request.setRawHeader("User-Agent", UserAgent);
    request.setAttribute(TileAttribute, QVariant(candidate));
    request.setAttribute(ZoomAttribute, zoom);
    request.setTransferTimeout(tileTimeoutMs);

    QNetworkReply *reply = Network::getWithBodyLimit(*network, request, MaximumTileBytes);
    // The transfer timeout starts over with every byte, so a server trickling a body could keep
    // this one request, and every tile queued behind it, waiting for ever: the whole request
    // has a deadline as well.
    auto *deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, reply, &QNetworkReply::abort);
    deadline->start(tileTimeoutMs * TileDeadlineFactor);
    pendingReplies.append(reply);
}

void SlippyMap::handleNetworkData(QNetworkReply *reply)
{
    const QVariant tileTag = reply->request().attribute(TileAttribute);
    const QVariant zoomTag = reply->request().attribute(ZoomAttribute);
    const bool abandoned = !pendingReplies.removeOne(reply);
    reply->deleteLater();
    if (abandoned || !tileTag.canConvert<QPoint>())
        return;
    const QPoint key = tileTag.toPoint();

    // A tile asked for before a zoom change would land on the wrong level.
    if (zoomTag.toInt() == zoom) {
        QImage image;
        if (reply->error() == QNetworkReply::NoError)
            image = Network::readBoundedImage(reply, MaximumTileEdge);
        tileCache.insert(key, image.isNull() ? placeholderTile : QPixmap::fromImage(image));
        emit updated(tileScreenRect(key));
        evictDistantTiles();
    }

    fetchNextTile();
}

void SlippyMap::evictDistantTiles()
{
    // A tile stays while some copy of it (the map repeats every n tiles on both axes) lies
    // within the view's range grown by 5. Judging rows by the same rule as columns matters near
    // the poles at low zoom, where the rows above row 0 show the bottom rows: evicting those
    // would fetch them again after every reply, without end.
    const int n = 1 << zoom;
    const QRect bound
        = tileRange.adjusted(-EvictionMargin, -EvictionMargin, EvictionMargin, EvictionMargin);
    const auto near = [n](int index, int low, int high) {
        if (high - low + 1 >= n)
            return true;
        const int copy = low + reduceTileIndex(index - low, n); // first copy at or after low
        return copy <= high;
    };
    const QList<QPoint> keys = tileCache.keys();
    for (const QPoint &k : keys) {
        if (!near(k.x(), bound.left(), bound.right()) || !near(k.y(), bound.top(), bound.bottom()))
            tileCache.remove(k);
    }
}

} // namespace Pinrova::Map
