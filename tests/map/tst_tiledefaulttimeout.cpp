#include <QElapsedTimer>
#include <QtTest>

#include <chrono>
#include <memory>

#include "eventloopwatch.h"
#include "httpserver.h"
#include "mapdriver.h"
#include "testsupport.h"
#include "tileserver.h"

using namespace Pinrova::Map;
using namespace Pinrova::Testing;
using namespace std::chrono_literals;

// The one case that waits out the real 30 s stall limit (the others set a short one): a tile
// server that answers a tile only after 31 s. It runs apart so the other fault cases stay quick.
class TestTileDefaultTimeout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void tileLaterThanTheDefaultLimitEndsGrey();
};

void TestTileDefaultTimeout::initTestCase()
{
    useCleanTestPaths();
}

void TestTileDefaultTimeout::tileLaterThanTheDefaultLimitEndsGrey()
{
    const QPoint centre = defaultCentreTile();
    const std::string late = tilePath(DefaultZoom, centre).toStdString();
    HttpServer server;
    server.setFallback(colouredTile);
    server.route(
        late, [](const HttpRequest &request) { return colouredTile(request).withDelay(31s); });
    QVERIFY(server.start());
    qputenv("PINROVA_TILE_SERVER", baseUrl(server).toUtf8());

    std::unique_ptr<MapWidget> map = showMap();
    QVERIFY(map);
    SlippyMap *engine = map->engine();
    QCOMPARE(engine->tileTimeout(), SlippyMap::TileTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(engine->tileInFlight().path(), QString::fromStdString(late), 10000);
    QElapsedTimer hanging;
    hanging.start();
    const EventLoopWatch watch;

    // For 25 s (the limit less a coarse timer's slack) the map pans and repaints every half
    // second and the tile is still waited for: the default has not been cut short.
    QString why;
    while (hanging.elapsed() < 25000) {
        QVERIFY2(panAndRepaint(*map, 4, &why), qPrintable(why));
        QTest::qWait(500);
    }
    QCOMPARE(engine->tileInFlight().path(), QString::fromStdString(late));
    QVERIFY(!engine->cachedTiles().contains(centre));

    // Then it is given up, before the server's late answer, and the tiles behind it load.
    QTRY_VERIFY_WITH_TIMEOUT(engine->cachedTiles().contains(centre), 15000);
    QVERIFY(engine->isPlaceholder(centre));
    QCOMPARE(shownColour(*map, centre), QColor(Qt::lightGray));
    QTRY_VERIFY_WITH_TIMEOUT(engine->tileInFlight().isEmpty(), 10000);
    for (const QPoint &tile : tilesOnScreen(*map)) {
        if (tile != centre)
            QCOMPARE(shownColour(*map, tile), tileColor(DefaultZoom, tile.x(), tile.y()));
    }
    QCOMPARE(server.requestCount(late), 1);
    QVERIFY2(watch.longestGapMs() < 1000, qPrintable(QString::number(watch.longestGapMs())));
}

QTEST_MAIN(TestTileDefaultTimeout)
#include "tst_tiledefaulttimeout.moc"
