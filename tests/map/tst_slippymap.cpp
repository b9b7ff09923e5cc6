#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QtTest>

#include "httpserver.h"
#include "slippymap.h"
#include "testsupport.h"
#include "tileserver.h"

using namespace Pinrova::Map;
using namespace Pinrova::Testing;

namespace {

QStringList requestedPaths(const HttpServer &server)
{
    QStringList paths;
    for (const HttpRequest &request : server.requests())
        paths << QString::fromStdString(request.path);
    return paths;
}

QString tilePath(int zoom, int column, int row)
{
    return QStringLiteral("/%1/%2/%3.png").arg(zoom).arg(column).arg(row);
}

QColor pixelAt(const SlippyMap &engine, const QSize &view, const QPoint &point)
{
    QImage image(view, QImage::Format_ARGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    const_cast<SlippyMap &>(engine).paintTiles(&painter, QRect(QPoint(0, 0), view));
    painter.end();
    return image.pixelColor(point);
}

} // namespace

class TestSlippyMap : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void projection_data();
    void projection();
    void workedExampleLayout();
    void fetchOrderColumnByColumnFromTheRight();
    void oneRequestInFlightWhileMoving();
    void failedTileBecomesPlaceholder_data();
    void failedTileBecomesPlaceholder();
    void paintsLoadedTilesAndPlaceholders();
    void panClampsAndWraps_data();
    void panClampsAndWraps();
    void lowZoomWrapsRowsAndFetchesTileZero_data();
    void lowZoomWrapsRowsAndFetchesTileZero();
    void evictionKeepsGrownRange();
    void antimeridianColumnsAreNotRefetched();
    void zoomStaysInRangeButCacheEmpties_data();
    void zoomStaysInRangeButCacheEmpties();
    void replyForOldZoomIsDiscarded();
    void diskCacheServesRepeatVisits();
    void zeroWidthViewDoesNothing();
    void zeroHeightViewStaysBounded();
    void nonFiniteCentreIsIgnored();

private:
    HttpServer server;
};

void TestSlippyMap::initTestCase()
{
    QVERIFY(server.start());
    qputenv("PINROVA_TILE_SERVER", baseUrl(server).toUtf8());
}

void TestSlippyMap::init()
{
    useCleanTestPaths();
    server.clearRoutes();
    server.setFallback(colouredTile);
    server.clearLog();
    server.resetMaxRequestsInFlight();
}

void TestSlippyMap::projection_data()
{
    QTest::addColumn<qreal>("lat");
    QTest::addColumn<qreal>("lon");
    QTest::addColumn<int>("zoom");
    QTest::addColumn<QPointF>("tile");

    QTest::newRow("default centre at 13")
        << 59.944069 << 30.306141 << 13 << QPointF(4785.6333, 2381.4973);
    QTest::newRow("origin at 3") << 0.0 << 0.0 << 3 << QPointF(4, 4);
    QTest::newRow("north-west corner") << 85.0511287798 << -180.0 << 5 << QPointF(0, 0);
    QTest::newRow("south-east corner") << -85.0511287798 << 180.0 << 4 << QPointF(16, 16);
}

void TestSlippyMap::projection()
{
    QFETCH(qreal, lat);
    QFETCH(qreal, lon);
    QFETCH(int, zoom);
    QFETCH(QPointF, tile);

    const QPointF t = coordinateToTile(lat, lon, zoom);
    QVERIFY2(qAbs(t.x() - tile.x()) < 1e-3, qPrintable(QString::number(t.x(), 'f', 6)));
    QVERIFY2(qAbs(t.y() - tile.y()) < 1e-3, qPrintable(QString::number(t.y(), 'f', 6)));
    // The inverse brings the point back.
    QVERIFY(qAbs(tileToLatitude(t.y(), zoom) - lat) < 1e-6);
    QVERIFY(qAbs(tileToLongitude(t.x(), zoom) - lon) < 1e-6);
}

void TestSlippyMap::workedExampleLayout()
{
    SlippyMap engine;
    QSignalSpy updated(&engine, &SlippyMap::updated);
    engine.setViewSize(QSize(800, 424));
    engine.relayout();

    QCOMPARE(engine.visibleTiles(), QRect(QPoint(4784, 2380), QPoint(4787, 2382)));
    QCOMPARE(engine.tileOffset(), QPoint(-19, -172));
    QCOMPARE(engine.tileInFlight().path(), QStringLiteral("/13/4788/2380.png"));
    QCOMPARE(updated.count(), 1);
    QCOMPARE(updated.first().first().toRect(), QRect(0, 0, 800, 424));
    QCOMPARE(engine.tileScreenRect(QPoint(4785, 2381)), QRect(237, 84, 256, 256));
}

void TestSlippyMap::fetchOrderColumnByColumnFromTheRight()
{
    SlippyMap engine;
    engine.setViewSize(QSize(800, 424));
    engine.relayout();
    QTRY_VERIFY_WITH_TIMEOUT(engine.tileInFlight().isEmpty(), 20000);

    QStringList expected;
    for (int column = 4788; column >= 4784; --column) {
        for (int row = 2380; row <= 2383; ++row)
            expected << tilePath(13, column, row);
    }
    QCOMPARE(requestedPaths(server), expected);
    for (const HttpRequest &request : server.requests())
        QCOMPARE(request.header("User-Agent"), std::string("Pinrova. Qt mobile application."));
    QCOMPARE(server.maxRequestsInFlight(), 1);
    QCOMPARE(engine.cachedTiles().size(), expected.size());
}

void TestSlippyMap::oneRequestInFlightWhileMoving()
{
    server.setFallback([](const HttpRequest &request) {
        return colouredTile(request).withDelay(std::chrono::milliseconds(40));
    });
    SlippyMap engine;
    engine.setViewSize(QSize(800, 480));
    engine.relayout();
    for (int step = 0; step < 30; ++step) {
        engine.panBy(QPoint(-37, 11));
        QTest::qWait(5);
        QVERIFY(server.requestsInFlight() <= 1);
    }
    const QRect finalRange = engine.visibleTiles();
    QTRY_VERIFY_WITH_TIMEOUT(engine.tileInFlight().isEmpty(), 30000);
    QCOMPARE(server.maxRequestsInFlight(), 1);

    // Once idle, everything the final view needs is loaded.
    const int n = 1 << engine.zoomLevel();
    const QList<QPoint> cached = engine.cachedTiles();
    for (int c = finalRange.left(); c <= finalRange.right() + 1; ++c) {
        for (int r = finalRange.top(); r <= finalRange.bottom() + 1; ++r)
            QVERIFY(cached.contains(QPoint(reduceTileIndex(c, n), reduceTileIndex(r, n))));
    }
}

void TestSlippyMap::failedTileBecomesPlaceholder_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("not found") << 0;
    QTest::newRow("server error") << 1;
    QTest::newRow("undecodable body") << 2;
    QTest::newRow("redirect is not followed") << 3;
    QTest::newRow("connection dropped") << 4;
    QTest::newRow("empty body") << 5;
    QTest::newRow("oversized picture") << 6;
    QTest::newRow("oversized body") << 7;
}

void TestSlippyMap::failedTileBecomesPlaceholder()
{
    QFETCH(int, kind);
    const std::string broken = tilePath(13, 4786, 2381).toStdString();
    const std::string hugePng = toStd(pngBytes(Qt::red, 5000));
    const std::string hugeBody(SlippyMap::MaximumTileBytes + 1024 * 1024, 'x');
    server.route(broken, [&](const HttpRequest &) {
        switch (kind) {
        case 0:
            return HttpResponse::error(404, "no such tile");
        case 1:
            return HttpResponse::error(500, "broken");
        case 2:
            return HttpResponse::ok("\x89PNG but not really", "image/png");
        case 3:
            return HttpResponse::redirect(baseUrl(server).toStdString() + "/13/1/1.png");
        case 4:
            return HttpResponse::drop();
        case 5:
            return HttpResponse::ok("", "image/png");
        case 6:
            return HttpResponse::ok(hugePng, "image/png");
        default:
            return HttpResponse::ok(hugeBody, "image/png");
        }
    });

    SlippyMap engine;
    engine.setViewSize(QSize(800, 424));
    engine.relayout();
    QTRY_VERIFY_WITH_TIMEOUT(engine.tileInFlight().isEmpty(), 20000);

    QVERIFY(engine.isPlaceholder(QPoint(4786, 2381)));
    QVERIFY(!engine.isPlaceholder(QPoint(4785, 2381)));
    // Qt itself resends once on a connection that closes before any answer.
    QCOMPARE(requestedPaths(server).count(QString::fromStdString(broken)), kind == 4 ? 2 : 1);
    QVERIFY(!requestedPaths(server).contains(QStringLiteral("/13/1/1.png")));
    QCOMPARE(
        pixelAt(engine, QSize(800, 424), QPoint(237 + 256 + 10, 84 + 10)), QColor(Qt::lightGray));

    // Counted as loaded: laying out again asks for nothing.
    const int before = static_cast<int>(server.requestCount());
    engine.relayout();
    QVERIFY(engine.tileInFlight().isEmpty());
    QCOMPARE(static_cast<int>(server.requestCount()), before);
}

void TestSlippyMap::paintsLoadedTilesAndPlaceholders()
{
    server.setFallback([](const HttpRequest &request) {
        // Only the centre column answers at once; the others stall until the test is done.
        const TilePath tile = parseTilePath(request.path);
        if (tile.column == 4788)
            return colouredTile(request);
        return colouredTile(request).withDelay(std::chrono::seconds(30));
    });
    SlippyMap engine;
    const QSize view(800, 424);
    engine.setViewSize(view);
    engine.relayout();
    QTRY_COMPARE(engine.cachedTiles().size(), 4);

    // Column 4788 starts at x = -19 + 4 * 256 = 1005: off screen at this width; check with a
    // wider paint instead.
    QImage image(QSize(1300, 424), QImage::Format_ARGB32);
    QPainter painter(&image);
    engine.paintTiles(&painter, QRect(0, 0, 1300, 424));
    painter.end();
    QCOMPARE(image.pixelColor(1005 + 5, 0), tileColor(13, 4788, 2380));
    QCOMPARE(image.pixelColor(1005 + 5, 84 + 256 + 5), tileColor(13, 4788, 2382));
    QCOMPARE(image.pixelColor(237 + 5, 84 + 5), QColor(Qt::lightGray));

    // Only tiles meeting the rectangle are drawn.
    QImage partial(view, QImage::Format_ARGB32);
    partial.fill(Qt::magenta);
    QPainter partialPainter(&partial);
    engine.paintTiles(&partialPainter, QRect(0, 0, 10, 10));
    partialPainter.end();
    QCOMPARE(partial.pixelColor(5, 5), QColor(Qt::lightGray));
    QCOMPARE(partial.pixelColor(700, 300), QColor(Qt::magenta));
}

void TestSlippyMap::panClampsAndWraps_data()
{
    QTest::addColumn<int>("zoom");
    QTest::addColumn<qreal>("lat");
    QTest::addColumn<qreal>("lon");
    QTest::addColumn<QPoint>("step");
    QTest::addColumn<int>("steps");
    QTest::addColumn<qreal>("expectedLat");
    QTest::addColumn<qreal>("expectedLon");

    // Dragging down moves the view north; dragging left moves it east.
    QTest::newRow("north stops at 85") << 5 << 80.0 << 10.0 << QPoint(0, 500) << 20 << 85.0 << 10.0;
    QTest::newRow("south stops at -85")
        << 5 << -80.0 << 10.0 << QPoint(0, -500) << 20 << -85.0 << 10.0;
    // 32 steps of 256 px at zoom 13 move the centre 32 tiles = 1.40625 degrees; each step
    // rounds the longitude down to 0.00001 degrees.
    QTest::newRow("east across 180")
        << 13 << 0.0 << 179.5 << QPoint(-256, 0) << 32 << 0.0 << -179.09375;
    QTest::newRow("west across -180")
        << 13 << 0.0 << -179.5 << QPoint(256, 0) << 32 << 0.0 << 179.09375;
}

void TestSlippyMap::panClampsAndWraps()
{
    QFETCH(int, zoom);
    QFETCH(qreal, lat);
    QFETCH(qreal, lon);
    QFETCH(QPoint, step);
    QFETCH(int, steps);
    QFETCH(qreal, expectedLat);
    QFETCH(qreal, expectedLon);

    server.setFallback([](const HttpRequest &) { return HttpResponse::error(404); });
    SlippyMap engine;
    engine.setViewSize(QSize(800, 480));
    engine.setZoom(zoom);
    engine.setCenter(lat, lon);
    engine.relayout();
    for (int i = 0; i < steps; ++i) {
        engine.panBy(step);
        QVERIFY(engine.latitude() <= 85 && engine.latitude() >= -85);
        QVERIFY(engine.longitude() > -180 && engine.longitude() <= 180);
    }
    QVERIFY2(qAbs(engine.latitude() - expectedLat) < 1e-4,
        qPrintable(QString::number(engine.latitude())));
    QVERIFY2(qAbs(engine.longitude() - expectedLon) < steps * 1e-5 + 1e-6,
        qPrintable(QString::number(engine.longitude(), 'f', 6)));

    // Tile requests use reduced indices only.
    QTRY_VERIFY_WITH_TIMEOUT(engine.tileInFlight().isEmpty(), 20000);
    for (const QString &path : requestedPaths(server)) {
        const TilePath tile = parseTilePath(path.toStdString());
        QVERIFY2(tile.valid, qPrintable(path));
        QVERIFY(tile.column < (1 << zoom) && tile.row < (1 << zoom));
    }
}

void TestSlippyMap::lowZoomWrapsRowsAndFetchesTileZero_data()
{
    QTest::addColumn<int>("zoom");
    // At 3 the range grown by 5 spans the world; at 5 it does not, and the bottom rows shown
    // above the top edge must still be kept, or they would be fetched after every reply.
    QTest::newRow("zoom 3") << 3;
    QTest::newRow("zoom 5") << 5;
}

void TestSlippyMap::lowZoomWrapsRowsAndFetchesTileZero()
{
    QFETCH(int, zoom);
    const int last = (1 << zoom) - 1;
    SlippyMap engine;
    const QSize view(800, 480);
    engine.setViewSize(view);
    engine.setZoom(zoom);
    engine.setCenter(85, -179.9);
    engine.relayout();
    QTRY_VERIFY_WITH_TIMEOUT(engine.tileInFlight().isEmpty(), 20000);
    if (zoom == 5)
        QVERIFY(engine.visibleTiles().height() + 2 * SlippyMap::EvictionMargin < (1 << zoom));

    const QStringList paths = requestedPaths(server);
    QVERIFY(paths.contains(tilePath(zoom, 0, 0)));
    QVERIFY(paths.contains(tilePath(zoom, last, last))); // row -1 and column -1, reduced
    QCOMPARE(QStringList(paths).removeDuplicates(), 0);
    QVERIFY(engine.cachedTiles().contains(QPoint(0, last)));

    // Row -1 above the top edge shows the bottom row's tiles.
    const QRect range = engine.visibleTiles();
    QVERIFY(range.top() < 0);
    const QRect aboveTop = engine.tileScreenRect(QPoint(0, -1));
    const QPoint probe = aboveTop.bottomLeft() + QPoint(5, -5);
    if (QRect(QPoint(0, 0), view).contains(probe))
        QCOMPARE(pixelAt(engine, view, probe), tileColor(zoom, 0, last));
    const QRect origin = engine.tileScreenRect(QPoint(0, 0));
    QCOMPARE(pixelAt(engine, view, origin.topLeft() + QPoint(5, 5)), tileColor(zoom, 0, 0));
}

void TestSlippyMap::evictionKeepsGrownRange()
{
    SlippyMap engine;
    engine.setViewSize(QSize(800, 480));
    engine.setZoom(10);
    engine.setCenter(0.0, 0.0);
    engine.relayout();
    QTRY_VERIFY_WITH_TIMEOUT(engine.tileInFlight().isEmpty(), 20000);
    const QList<QPoint> first = engine.cachedTiles();

    // Four tiles east: the first view lies within the range grown by 5 and stays.
    engine.panBy(QPoint(-4 * 256, 0));
    QTRY_VERIFY_WITH_TIMEOUT(engine.tileInFlight().isEmpty(), 20000);
    const QList<QPoint> second = engine.cachedTiles();
    for (const QPoint &tile : first)
        QVERIFY(second.contains(tile));

    // Twelve more: the first view is left behind by more than 5 and goes.
    engine.panBy(QPoint(-12 * 256, 0));
    QTRY_VERIFY_WITH_TIMEOUT(engine.tileInFlight().isEmpty(), 20000);
    const QRect bound = engine.visibleTiles().adjusted(-5, -5, 5, 5);
    for (const QPoint &tile : engine.cachedTiles())
        QVERIFY2(
            bound.contains(tile), qPrintable(QStringLiteral("%1,%2").arg(tile.x()).arg(tile.y())));
    for (const QPoint &tile : first)
        QVERIFY(!engine.cachedTiles().contains(tile));
}

void TestSlippyMap::antimeridianColumnsAreNotRefetched()
{
    // West of 180 the view's left columns are negative; their reduced tiles (n - 2, n - 1) lie
    // outside the grown range yet must stay, or they would be fetched again and again.
    SlippyMap engine;
    engine.setViewSize(QSize(800, 480));
    engine.setZoom(6);
    engine.setCenter(10.0, -179.0);
    engine.relayout();
    QVERIFY(engine.visibleTiles().left() < 0);
    QTRY_VERIFY_WITH_TIMEOUT(engine.tileInFlight().isEmpty(), 20000);

    const QStringList paths = requestedPaths(server);
    QCOMPARE(QStringList(paths).removeDuplicates(), 0);
    QVERIFY(paths.contains(tilePath(6, 63, 30)) || paths.contains(tilePath(6, 63, 29)));
    QVERIFY(engine.cachedTiles().contains(QPoint(63, 30)));
}

void TestSlippyMap::zoomStaysInRangeButCacheEmpties_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("requested");
    QTest::addColumn<int>("expected");
    QTest::newRow("in at 17 stays") << 17 << 18 << 17;
    QTest::newRow("out at 3 stays") << 3 << 2 << 3;
    QTest::newRow("far out of range") << 13 << -100 << 13;
    QTest::newRow("one step in") << 13 << 14 << 14;
}

void TestSlippyMap::zoomStaysInRangeButCacheEmpties()
{
    QFETCH(int, start);
    QFETCH(int, requested);
    QFETCH(int, expected);

    SlippyMap engine;
    engine.setViewSize(QSize(400, 300));
    engine.setZoom(start);
    engine.relayout();
    QTRY_VERIFY_WITH_TIMEOUT(engine.tileInFlight().isEmpty(), 20000);
    QVERIFY(!engine.cachedTiles().isEmpty());
    const int before = static_cast<int>(server.requestCount());

    engine.setZoom(requested);
    QCOMPARE(engine.zoomLevel(), expected);
    QVERIFY(engine.cachedTiles().isEmpty());
    engine.relayout();
    QTRY_VERIFY_WITH_TIMEOUT(engine.tileInFlight().isEmpty(), 20000);
    QCOMPARE(static_cast<int>(server.requestCount()) - before, engine.cachedTiles().size());
}

void TestSlippyMap::replyForOldZoomIsDiscarded()
{
    // A view where tile (1, 0) is the first request at zoom 3 and is visible at zoom 4 too.
    const std::string first = tilePath(3, 1, 0).toStdString();
    server.route(first, [](const HttpRequest &request) {
        return colouredTile(request).withDelay(std::chrono::seconds(20));
    });
    SlippyMap engine;
    engine.setViewSize(QSize(100, 100));
    engine.setZoom(3);
    engine.setCenter(tileToLatitude(0.2, 3), tileToLongitude(0.2, 3));
    engine.relayout();
    QCOMPARE(engine.tileInFlight().path(), QString::fromStdString(first));
    QTRY_COMPARE(server.requestCount(first), 1);

    // The old level's request is given up: the new level starts at once and loads long before
    // the old tile would have answered.
    engine.setZoom(4);
    engine.relayout();
    QVERIFY2(engine.tileInFlight().path().startsWith(QLatin1String("/4/")),
        qPrintable(engine.tileInFlight().path()));
    QTRY_VERIFY_WITH_TIMEOUT(engine.tileInFlight().isEmpty(), 10000);

    const QStringList paths = requestedPaths(server);
    QCOMPARE(paths.first(), QString::fromStdString(first));
    QVERIFY2(paths.contains(tilePath(4, 1, 0)), qPrintable(paths.join(' ')));
    QVERIFY(engine.cachedTiles().contains(QPoint(1, 0)));
}

void TestSlippyMap::diskCacheServesRepeatVisits()
{
    server.setFallback([](const HttpRequest &request) {
        return colouredTile(request).withHeader("Cache-Control", "max-age=3600");
    });
    {
        SlippyMap engine;
        engine.setViewSize(QSize(400, 300));
        engine.relayout();
        QTRY_VERIFY_WITH_TIMEOUT(engine.tileInFlight().isEmpty(), 20000);
    }
    const std::size_t firstVisit = server.requestCount();
    QVERIFY(firstVisit > 0);

    SlippyMap again;
    again.setViewSize(QSize(400, 300));
    again.relayout();
    QTRY_VERIFY_WITH_TIMEOUT(again.tileInFlight().isEmpty(), 20000);
    QCOMPARE(server.requestCount(), firstVisit);
    QCOMPARE(again.cachedTiles().size(), static_cast<int>(firstVisit));
    for (const QPoint &tile : again.cachedTiles())
        QVERIFY(!again.isPlaceholder(tile));
}

void TestSlippyMap::zeroWidthViewDoesNothing()
{
    SlippyMap engine;
    QSignalSpy updated(&engine, &SlippyMap::updated);
    engine.setViewSize(QSize(0, 480));
    engine.relayout();
    QCOMPARE(updated.count(), 0);
    QVERIFY(engine.tileInFlight().isEmpty());
    QVERIFY(engine.visibleTiles().isNull());
    QTest::qWait(50);
    QCOMPARE(server.requestCount(), std::size_t(0));
}

void TestSlippyMap::zeroHeightViewStaysBounded()
{
    SlippyMap engine;
    engine.setViewSize(QSize(800, 0));
    engine.relayout();
    QVERIFY(engine.visibleTiles().height() <= 1);
    QTRY_VERIFY_WITH_TIMEOUT(engine.tileInFlight().isEmpty(), 20000);
    QVERIFY(server.requestCount() <= 10);
}

void TestSlippyMap::nonFiniteCentreIsIgnored()
{
    SlippyMap engine;
    QSignalSpy updated(&engine, &SlippyMap::updated);
    engine.setViewSize(QSize(800, 480));
    engine.setCenter(qQNaN(), 10);
    engine.relayout();
    engine.panBy(QPoint(10, 10));
    engine.setCenter(120, 10); // past the pole: the projection is undefined
    engine.relayout();
    QCOMPARE(updated.count(), 0);
    QVERIFY(engine.tileInFlight().isEmpty());

    engine.setCenter(10, 10);
    engine.relayout();
    QCOMPARE(updated.count(), 1);
}

QTEST_MAIN(TestSlippyMap)
#include "tst_slippymap.moc"
