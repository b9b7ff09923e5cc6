#include <QSignalSpy>
#include <QtTest>

#include <vector>

#include "mapwidget.h"
#include "nearbyuserlist.h"
#include "slippymap.h"
#include "testsupport.h"
#include "tileserver.h"
#include "getusersanswer.h"

using namespace Pinrova::Map;
using namespace Pinrova::Social;
using namespace Pinrova::Testing;

// The cost of every frame while the user drags the map: one full repaint of an 800 x 480 map
// whose visible tiles are all in memory, without and with people on it, and the re-placing of
// the picture buttons that follows every pan step.
class BenchMapWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fullRepaint();
    void fullRepaintWithPeople_data();
    void fullRepaintWithPeople();
    void updateMarkers_data();
    void updateMarkers();

private:
    // A shown map with every tile loaded and, when asked, 150 people (the first 100 with
    // pictures) spread over the view.
    void prepare(MapWidget &map, bool people);

    HttpServer server;
    ScriptedBody answer;
    std::string people; // the 150 people's answer
    std::string crowds; // 200 crowd cells over the view, 64 pixels apart
};

void BenchMapWidget::initTestCase()
{
    useCleanTestPaths();
    const std::string face = toStd(pngBytes(Qt::darkCyan, 50));
    server.route("/PosService/PosService.svc/GetUsers",
        [this](const HttpRequest &) { return HttpResponse::ok(answer.get(), "text/xml"); });
    server.routePrefix(
        "/face/", [face](const HttpRequest &) { return HttpResponse::ok(face, "image/png"); });
    server.setFallback(colouredTile);
    QVERIFY(server.start());
    qputenv("PINROVA_TILE_SERVER", baseUrl(server).toUtf8());
    qputenv("PINROVA_POSITION_SERVICE", baseUrl(server).toUtf8());

    std::vector<AnsweredUser> crowd;
    const QPointF centre = coordinateToTile(59.944069, 30.306141, 13);
    for (int i = 0; i < 150; ++i) {
        AnsweredUser user;
        user.id = QString::number(i + 1);
        const QPointF tile
            = centre + QPointF((i % 15 - 7) * 50.0 / TileSize, (i / 15 - 5) * 44.0 / TileSize);
        user.lat = tileToLatitude(tile.y(), 13);
        user.lon = tileToLongitude(tile.x(), 13);
        user.online = i % 3 != 0;
        if (i < 100)
            user.picture = baseUrl(server) + QStringLiteral("/face/") + user.id;
        crowd.push_back(user);
    }
    people = userListXml(crowd);
    for (int i = 0; i < 200; ++i) {
        const QPointF tile = centre
            + QPointF((i % 20 - 10) * 64.0 / TileSize + 0.1, (i / 20 - 5) * 64.0 / TileSize + 0.1);
        crowds += QStringLiteral("<Crowd><Lat>%1</Lat><Lon>%2</Lon><Count>%3</Count></Crowd>")
                      .arg(tileToLatitude(tile.y(), 13), 0, 'f', 7)
                      .arg(tileToLongitude(tile.x(), 13), 0, 'f', 7)
                      .arg(i * i * 7 + 1)
                      .toStdString();
    }
    answer.set(people);
}

void BenchMapWidget::prepare(MapWidget &map, bool people)
{
    map.resize(800, 480);
    map.show();
    QVERIFY(QTest::qWaitForWindowExposed(&map));
    if (people) {
        map.startUserList();
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                map.users()->lockForRead();
                const QVector<NearByUser> &users = map.users()->users();
                const bool done = users.size() == 150 && !users.at(99).picture.isNull();
                map.users()->unlock();
                return done;
            }(),
            30000);
    }
    QTRY_VERIFY_WITH_TIMEOUT(map.engine()->tileInFlight().isEmpty(), 30000);
    for (const QPoint &tile : map.engine()->cachedTiles())
        QVERIFY(!map.engine()->isPlaceholder(tile));
    // The first paint loads fonts and prepares the pixmaps; measure the frames after it.
    map.repaint();
}

void BenchMapWidget::fullRepaint()
{
    MapWidget map;
    prepare(map, false);
    QBENCHMARK
    {
        map.repaint();
    }
}

void BenchMapWidget::fullRepaintWithPeople_data()
{
    QTest::addColumn<bool>("grouping");
    QTest::addColumn<bool>("withCrowds");
    QTest::newRow("150 people, grouping off") << false << false;
    QTest::newRow("150 people, grouping on") << true << false;
    QTest::newRow("150 people and 200 crowd bubbles") << true << true;
}

void BenchMapWidget::fullRepaintWithPeople()
{
    QFETCH(bool, grouping);
    QFETCH(bool, withCrowds);
    std::string body = people;
    if (withCrowds)
        body.insert(body.rfind("</ArrayOfUser>"), crowds);
    answer.set(body);
    MapWidget map;
    map.setGroupingEnabled(grouping);
    prepare(map, true);
    map.users()->lockForRead();
    QCOMPARE(map.users()->crowds().size(), withCrowds ? 200 : 0);
    map.users()->unlock();
    QBENCHMARK
    {
        map.repaint();
    }
}

void BenchMapWidget::updateMarkers_data()
{
    QTest::addColumn<bool>("grouping");
    QTest::addColumn<bool>("regroup");
    QTest::newRow("grouping off") << false << false;
    QTest::newRow("grouping on, panning") << true << false;
    // The groups worked out anew in every pass, as after a new list or a zoom step.
    QTest::newRow("grouping on, groups anew") << true << true;
}

void BenchMapWidget::updateMarkers()
{
    QFETCH(bool, grouping);
    QFETCH(bool, regroup);
    answer.set(people);
    MapWidget map;
    map.setGroupingEnabled(grouping);
    prepare(map, true);
    // Each pan step moves every button; alternate the centre so every pass has work to do.
    int step = 0;
    QBENCHMARK
    {
        map.engine()->setCenter(59.944069 + (step % 2) * 0.0005, 30.306141);
        if (regroup)
            map.engine()->setZoom(13 + step % 2);
        ++step;
        map.updateMap();
    }
}

QTEST_MAIN(BenchMapWidget)
#include "bench_mapwidget.moc"
