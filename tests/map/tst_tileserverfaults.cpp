#include <QElapsedTimer>
#include <QtTest>

#include <chrono>
#include <memory>

#include "eventloopwatch.h"
#include "httpserver.h"
#include "mapdriver.h"
#include "rawtcpserver.h"
#include "testsupport.h"
#include "tileserver.h"

using namespace Pinrova::Map;
using namespace Pinrova::Testing;
using namespace std::chrono_literals;

namespace {

// The stall limit of most cases here; a whole request gets TileDeadlineFactor times as long.
constexpr int ShortTimeoutMs = 1000;

// How long a map may take to settle when no tile has to wait for a time-out: far below the
// default 30 s stall limit, so a map that waited that long for a gone server fails.
constexpr int SettleMs = 10000;

bool idle(const MapWidget &map)
{
    return map.engine()->tileInFlight().isEmpty();
}

// What every tile but the broken one gets from the scripted server: its own colour.
RawAnswer colouredRawTile(const QByteArray &requestHead)
{
    const TilePath tile = parseTilePath(RawTcpServer::pathOf(requestHead).toStdString());
    if (!tile.valid)
        return RawAnswer::http("HTTP/1.1 404 Not Found", QByteArray(), "text/plain");
    return RawAnswer::http(
        "HTTP/1.1 200 OK", pngBytes(tileColor(tile.zoom, tile.column, tile.row)));
}

QByteArray noise(int size)
{
    QByteArray bytes;
    quint32 state = 12345;
    for (int i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        bytes.append(static_cast<char>(state >> 24));
    }
    return bytes;
}

} // namespace

// The tile server failing a real MapWidget over real loopback connections: gone, slow, or
// answering garbage. Whatever it does, the broken tiles end grey, the map keeps moving and
// repainting, and the other tiles still load.
class TestTileServerFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void serverGone_data();
    void serverGone();
    void slowTile_data();
    void slowTile();
    void mapStaysResponsiveWhileTileHangs();
    void garbageAnswers_data();
    void garbageAnswers();

private:
    // Every tile on screen is loaded: the broken ones grey, the others in their colour.
    void verifyTiles(MapWidget &map, const QList<QPoint> &grey);

    QPoint centre;
    QString centrePath;
};

void TestTileServerFaults::initTestCase()
{
    centre = defaultCentreTile();
    centrePath = tilePath(DefaultZoom, centre);
}

void TestTileServerFaults::init()
{
    // No tile of an earlier case may come from the disk cache.
    useCleanTestPaths();
}

void TestTileServerFaults::verifyTiles(MapWidget &map, const QList<QPoint> &grey)
{
    const QImage shown = map.grab().toImage();
    for (const QPoint &tile : tilesOnScreen(map)) {
        const QString name = QStringLiteral("%1,%2").arg(tile.x()).arg(tile.y());
        QVERIFY2(map.engine()->cachedTiles().contains(tile), qPrintable(name));
        const bool broken = grey.contains(tile);
        QCOMPARE(map.engine()->isPlaceholder(tile), broken);
        const QRect box = map.engine()->tileScreenRect(tile) & map.rect();
        const QColor expected = broken ? QColor(Qt::lightGray)
                                       : tileColor(map.engine()->zoomLevel(), tile.x(), tile.y());
        QVERIFY2(shown.pixelColor(box.center()) == expected, qPrintable(name));
    }
}

namespace {
enum ServerGone { NothingListening, StoppedBetweenTiles, StoppedWithTileInFlight };
}

void TestTileServerFaults::serverGone_data()
{
    QTest::addColumn<int>("moment");
    QTest::newRow("nothing listening") << int(NothingListening);
    QTest::newRow("stopped between tiles") << int(StoppedBetweenTiles);
    QTest::newRow("stopped with a tile in flight") << int(StoppedWithTileInFlight);
}

void TestTileServerFaults::serverGone()
{
    QFETCH(int, moment);

    auto server = std::make_unique<HttpServer>();
    server->setFallback(colouredTile);
    if (moment == StoppedWithTileInFlight) {
        server->route(centrePath.toStdString(),
            [](const HttpRequest &request) { return colouredTile(request).withDelay(60s); });
    }
    QVERIFY(server->start());
    qputenv("PINROVA_TILE_SERVER", baseUrl(*server).toUtf8());
    if (moment == NothingListening)
        server->stop(); // its port stays closed

    // The default stall limit: a gone server has to fail each tile at once, not after it.
    std::unique_ptr<MapWidget> map = showMap();
    QVERIFY(map);
    SlippyMap *engine = map->engine();
    QCOMPARE(engine->tileTimeout(), SlippyMap::TileTimeoutMs);
    if (moment == StoppedBetweenTiles) {
        QTRY_VERIFY_WITH_TIMEOUT(idle(*map), SettleMs);
        verifyTiles(*map, {});
        server->stop();
    } else if (moment == StoppedWithTileInFlight) {
        QTRY_COMPARE_WITH_TIMEOUT(engine->tileInFlight().path(), centrePath, SettleMs);
        server->stop();
    }
    QList<QPoint> loaded;
    for (const QPoint &tile : engine->cachedTiles()) {
        if (!engine->isPlaceholder(tile))
            loaded << tile;
    }
    QCOMPARE(loaded.isEmpty(), moment == NothingListening);

    QTRY_VERIFY_WITH_TIMEOUT(idle(*map), SettleMs);
    QList<QPoint> grey;
    for (const QPoint &tile : tilesOnScreen(*map)) {
        if (!loaded.contains(tile))
            grey << tile;
    }
    if (moment == StoppedWithTileInFlight)
        QVERIFY(grey.contains(centre));
    verifyTiles(*map, grey);

    // The map goes on: a pan east needs new tiles, which come grey at once, while the tiles
    // loaded before keep their pictures.
    dragMap(map.get(), QPoint(-600, 0));
    QVERIFY(!idle(*map));
    QTRY_VERIFY_WITH_TIMEOUT(idle(*map), SettleMs);
    grey.clear();
    for (const QPoint &tile : tilesOnScreen(*map)) {
        if (!loaded.contains(tile))
            grey << tile;
    }
    QVERIFY(grey.size() >= 2);
    verifyTiles(*map, grey);
}

namespace {
enum SlowTile { StallsPastLimit, AnswersWithinLimit, TricklesPastDeadline, TricklesWithinDeadline };
}

void TestTileServerFaults::slowTile_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<int>("stillRunningAtMs"); // the tile must not have ended before this
    QTest::addColumn<bool>("endsGrey");

    QTest::newRow("silent past the stall limit") << int(StallsPastLimit) << 1000 << 500 << true;
    QTest::newRow("answers late within the stall limit")
        << int(AnswersWithinLimit) << 3000 << 1000 << false;
    // A byte every 100 ms never stalls; only the deadline (4 x 1 s) ends it.
    QTest::newRow("trickles past the deadline")
        << int(TricklesPastDeadline) << 1000 << 2500 << true;
    QTest::newRow("trickles in within the deadline")
        << int(TricklesWithinDeadline) << 1000 << 1500 << false;
}

void TestTileServerFaults::slowTile()
{
    QFETCH(int, kind);
    QFETCH(int, timeoutMs);
    QFETCH(int, stillRunningAtMs);
    QFETCH(bool, endsGrey);

    HttpServer server;
    RawTcpServer raw;
    const QByteArray brokenPath = centrePath.toLatin1();
    if (kind == StallsPastLimit || kind == AnswersWithinLimit) {
        const auto delay = kind == StallsPastLimit ? 20000ms : 1500ms;
        server.setFallback(colouredTile);
        server.route(brokenPath.toStdString(),
            [delay](const HttpRequest &request) { return colouredTile(request).withDelay(delay); });
        QVERIFY(server.start());
        qputenv("PINROVA_TILE_SERVER", baseUrl(server).toUtf8());
    } else {
        const QByteArray png = pngBytes(tileColor(DefaultZoom, centre.x(), centre.y()));
        raw.setScript([kind, brokenPath, png](const QByteArray &head) {
            if (RawTcpServer::pathOf(head) != brokenPath)
                return colouredRawTile(head);
            RawAnswer answer;
            if (kind == TricklesPastDeadline) {
                answer.bytes = "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: "
                               "1000000\r\n\r\n";
                answer.trickle = png;
                answer.repeatTrickle = true;
                answer.pieceIntervalMs = 100;
            } else {
                // The whole answer in ten pieces over two seconds.
                answer.trickle = RawAnswer::http("HTTP/1.1 200 OK", png).bytes;
                answer.pieceBytes = answer.trickle.size() / 10 + 1;
                answer.pieceIntervalMs = 200;
            }
            return answer;
        });
        QVERIFY(raw.start());
        qputenv("PINROVA_TILE_SERVER", raw.baseUrl().toUtf8());
    }

    std::unique_ptr<MapWidget> map = showMap(timeoutMs);
    QVERIFY(map);
    SlippyMap *engine = map->engine();
    QTRY_COMPARE_WITH_TIMEOUT(engine->tileInFlight().path(), centrePath, SettleMs);
    QElapsedTimer running;
    running.start();

    // Bounded negative check: the tile is neither given up nor in before its time.
    QTest::qWait(qMax<int>(0, stillRunningAtMs - static_cast<int>(running.elapsed())));
    QCOMPARE(engine->tileInFlight().path(), centrePath);
    QVERIFY(!engine->cachedTiles().contains(centre));

    QTRY_VERIFY_WITH_TIMEOUT(engine->cachedTiles().contains(centre), SettleMs);
    QCOMPARE(engine->isPlaceholder(centre), endsGrey);
    // After it, the tiles queued behind it load.
    QTRY_VERIFY_WITH_TIMEOUT(idle(*map), SettleMs);
    verifyTiles(*map, endsGrey ? QList<QPoint> {centre} : QList<QPoint> {});
    // A tile given up is not asked for again.
    const int asked = kind == StallsPastLimit || kind == AnswersWithinLimit
        ? server.requestCount(brokenPath.toStdString())
        : raw.requestCount(brokenPath);
    QCOMPARE(asked, 1);
    if (kind == TricklesPastDeadline)
        QTRY_COMPARE(raw.openConnections(), 0); // the trickle's connection was let go
}

void TestTileServerFaults::mapStaysResponsiveWhileTileHangs()
{
    constexpr int TimeoutMs = 4000;
    HttpServer server;
    server.setFallback(colouredTile);
    server.route(centrePath.toStdString(),
        [](const HttpRequest &request) { return colouredTile(request).withDelay(60s); });
    QVERIFY(server.start());
    qputenv("PINROVA_TILE_SERVER", baseUrl(server).toUtf8());

    std::unique_ptr<MapWidget> map = showMap(TimeoutMs);
    QVERIFY(map);
    SlippyMap *engine = map->engine();
    QTRY_COMPARE_WITH_TIMEOUT(engine->tileInFlight().path(), centrePath, SettleMs);
    QElapsedTimer hanging;
    hanging.start();
    const EventLoopWatch watch;

    // While it hangs the map pans and repaints; the hanging tile shows grey meanwhile, and
    // stays the one request in flight.
    QString why;
    QVERIFY2(panAndRepaint(*map, 24, &why), qPrintable(why));
    QCOMPARE(shownColour(*map, centre), QColor(Qt::lightGray));
    QCOMPARE(engine->tileInFlight().path(), centrePath);
    QCOMPARE(server.requestsInFlight(), 1);
    QVERIFY2(hanging.elapsed() < TimeoutMs,
        "the pans took longer than the stall limit, so they did not happen while the tile hung");

    // It ends grey at the stall limit, then the tiles behind it load.
    QTRY_VERIFY_WITH_TIMEOUT(engine->cachedTiles().contains(centre), SettleMs);
    QVERIFY(engine->isPlaceholder(centre));
    QTRY_VERIFY_WITH_TIMEOUT(idle(*map), SettleMs);
    verifyTiles(*map, {centre});
    QCOMPARE(server.requestCount(centrePath.toStdString()), 1);

    // The event loop kept turning throughout (a generous bound: a blocked loop shows seconds).
    QVERIFY2(watch.longestGapMs() < 1000, qPrintable(QString::number(watch.longestGapMs())));
    QVERIFY(watch.ticks() > 0);
}

void TestTileServerFaults::garbageAnswers_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("endless"); // sent again every 20 ms after the bytes

    const QByteArray png = pngBytes(Qt::red);
    QTest::newRow("not HTTP") << QByteArray("SSH-2.0-OpenSSH_9.2p1\r\n") << QByteArray();
    QTest::newRow("binary noise") << noise(4096) << QByteArray();
    QTest::newRow("status line without a code")
        << QByteArray("HTTP/1.1 OK\r\nContent-Length: 3\r\n\r\nabc") << QByteArray();
    QTest::newRow("a picture without status line or headers") << png << QByteArray();
    QTest::newRow("head cut off") << QByteArray("HTTP/1.1 200 OK\r\nContent-Le") << QByteArray();
    QTest::newRow("body shorter than announced")
        << QByteArray(
               "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: 100000\r\n\r\n")
            + png.left(300)
        << QByteArray();
    QTest::newRow("chunk size not a number")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nabc\r\n0\r\n\r\n")
        << QByteArray();
    QTest::newRow("chunk size beyond any body")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nffffffffffffffff\r\n")
            + png
        << QByteArray();
    // Header bytes are no progress to Qt: these end at the stall limit.
    QTest::newRow("headers without end")
        << QByteArray("HTTP/1.1 200 OK\r\n") << QByteArray("X-Filler: 1\r\n");
    QTest::newRow("interim answers without end")
        << QByteArray() << QByteArray("HTTP/1.1 100 Continue\r\n\r\n");
}

void TestTileServerFaults::garbageAnswers()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, endless);

    RawTcpServer raw;
    const QByteArray brokenPath = centrePath.toLatin1();
    raw.setScript([brokenPath, bytes, endless](const QByteArray &head) {
        if (RawTcpServer::pathOf(head) != brokenPath)
            return colouredRawTile(head);
        RawAnswer answer;
        answer.bytes = bytes;
        answer.trickle = endless;
        answer.pieceBytes = endless.size();
        answer.pieceIntervalMs = 20;
        answer.repeatTrickle = true;
        return answer;
    });
    QVERIFY(raw.start());
    qputenv("PINROVA_TILE_SERVER", raw.baseUrl().toUtf8());

    std::unique_ptr<MapWidget> map = showMap(ShortTimeoutMs);
    QVERIFY(map);
    QTRY_VERIFY_WITH_TIMEOUT(idle(*map), SettleMs);
    verifyTiles(*map, {centre});
    // Qt itself asks again, up to three times, when a connection closes before a whole answer;
    // the map never does.
    QVERIFY(raw.requestCount(brokenPath) >= 1);
    QVERIFY2(raw.requestCount(brokenPath) <= 4,
        qPrintable(QString::number(raw.requestCount(brokenPath))));
    // Every connection, the endless ones too, is let go.
    QTRY_COMPARE(raw.openConnections(), 0);
}

QTEST_MAIN(TestTileServerFaults)
#include "tst_tileserverfaults.moc"
