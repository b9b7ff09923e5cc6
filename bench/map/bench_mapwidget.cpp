#include <QtTest>

#include "httpserver.h"
#include "mapwidget.h"
#include "slippymap.h"
#include "testsupport.h"
#include "tileserver.h"

using namespace Pinrova::Map;
using namespace Pinrova::Testing;

// One full repaint of an 800 x 480 map whose visible tiles are all in memory: the cost of every
// frame while the user drags the map.
class BenchMapWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fullRepaint();

private:
    HttpServer server;
};

void BenchMapWidget::initTestCase()
{
    useCleanTestPaths();
    server.setFallback(colouredTile);
    QVERIFY(server.start());
    qputenv("PINROVA_TILE_SERVER", baseUrl(server).toUtf8());
}

void BenchMapWidget::fullRepaint()
{
    MapWidget map;
    map.resize(800, 480);
    map.show();
    QVERIFY(QTest::qWaitForWindowExposed(&map));
    QTRY_VERIFY_WITH_TIMEOUT(map.engine()->tileInFlight().isEmpty(), 30000);
    QVERIFY(!map.engine()->cachedTiles().isEmpty());
    for (const QPoint &tile : map.engine()->cachedTiles())
        QVERIFY(!map.engine()->isPlaceholder(tile));

    QBENCHMARK
    {
        map.repaint();
    }
}

QTEST_MAIN(BenchMapWidget)
#include "bench_mapwidget.moc"
