#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

#include <algorithm>
#include <vector>

#include "groupchooser.h"
#include "mapdriver.h"
#include "mapuserinfo.h"
#include "mapwidget.h"
#include "nearbyuserlist.h"
#include "slippymap.h"
#include "testsupport.h"
#include "getusersanswer.h"

using namespace Pinrova::Map;
using namespace Pinrova::Social;
using namespace Pinrova::Testing;

namespace {

const std::string ServicePath = "/PosService/PosService.svc/GetUsers";

QToolButton *marker(MapWidget &map, int index)
{
    return map.findChild<QToolButton *>(QString::number(index), Qt::FindDirectChildrenOnly);
}

int visibleMarkers(MapWidget &map)
{
    int count = 0;
    for (int i = 0; i < MapWidget::MarkerCount; ++i)
        count += marker(map, i)->isVisible();
    return count;
}

QColor iconColor(QToolButton *button)
{
    return button->icon().pixmap(button->iconSize()).toImage().pixelColor(25, 25);
}

// The colour an artwork pixel gets when painted over the white test tiles.
QColor overWhite(const QImage &art, const QPoint &pixel)
{
    QImage canvas(art.size(), QImage::Format_ARGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    painter.drawImage(0, 0, art);
    painter.end();
    return canvas.pixelColor(pixel);
}

// Positions on a grid around the default centre, a marker's width apart at zoom 13.
AnsweredUser gridUser(int index, int columns, bool online)
{
    AnsweredUser user;
    user.id = QString::number(1000 + index);
    const QPointF centre = coordinateToTile(59.944069, 30.306141, 13);
    const QPointF tile = centre
        + QPointF((index % columns - columns / 2) * 100.0 / TileSize,
            (index / columns - 4) * 100.0 / TileSize);
    user.lat = tileToLatitude(tile.y(), 13);
    user.lon = tileToLongitude(tile.x(), 13);
    user.online = online;
    return user;
}

// A person the given pixels from the default centre at zoom 13.
AnsweredUser offsetUser(int index, const QPoint &offset, bool online = false)
{
    AnsweredUser user;
    user.id = QString::number(2000 + index);
    user.name = QStringLiteral("Person %1").arg(index);
    const QPointF tile = coordinateToTile(59.944069, 30.306141, 13) + QPointF(offset) / TileSize;
    user.lat = tileToLatitude(tile.y(), 13);
    user.lon = tileToLongitude(tile.x(), 13);
    user.online = online;
    return user;
}

std::vector<AnsweredUser> offsetUsers(const QVector<QPoint> &offsets)
{
    std::vector<AnsweredUser> users;
    for (int i = 0; i < offsets.size(); ++i)
        users.push_back(offsetUser(i, offsets[i], i == offsets.size() - 1));
    return users;
}

// The markers as member lists, "0+2 1": comparable across pans and zooms.
QString describeMarkers(const QVector<MarkerGroup> &markers)
{
    QStringList parts;
    for (const MarkerGroup &group : markers) {
        QStringList members;
        for (const int member : group.members)
            members << QString::number(member);
        parts << members.join(QLatin1Char('+'));
    }
    return parts.join(QLatin1Char(' '));
}

// The markers by the original index in each person's name, "Person 3", sorted: the same
// groups compare equal however the list orders their people.
QString describeByName(MapWidget &map)
{
    const QVector<MarkerGroup> markers = map.markerGroups();
    map.users()->lockForRead();
    const QVector<NearByUser> people = map.users()->users();
    map.users()->unlock();
    QStringList parts;
    for (const MarkerGroup &group : markers) {
        QStringList members;
        for (const int member : group.members)
            members << people.at(member).person.name.section(QLatin1Char(' '), 1);
        members.sort();
        parts << members.join(QLatin1Char('+'));
    }
    parts.sort();
    return parts.join(QLatin1Char(' '));
}

// Whether any two of the visible marker buttons' frames overlap.
bool drawnMarkersOverlap(MapWidget &map)
{
    QVector<QRect> frames;
    for (int i = 0; i < MapWidget::MarkerCount; ++i) {
        QToolButton *button = marker(map, i);
        if (button->isVisible())
            frames << QRect(button->pos() - QPoint(12, 12) + QPoint(7, 7), QSize(69, 69));
    }
    for (int a = 0; a < frames.size(); ++a) {
        for (int b = a + 1; b < frames.size(); ++b) {
            if (frames[a].intersects(frames[b]))
                return true;
        }
    }
    return false;
}

std::string crowdXml(double lat, double lon, int count)
{
    return QStringLiteral("<Crowd><Lat>%1</Lat><Lon>%2</Lon><Count>%3</Count></Crowd>")
        .arg(lat, 0, 'f', 7)
        .arg(lon, 0, 'f', 7)
        .arg(count)
        .toStdString();
}

} // namespace

class TestMarkerLayer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void emptyListShowsOwnPosition();
    void threePeople();
    void reorderTakesNewPicturesInOnePass();
    void morePeopleThanButtons();
    void markersFollowThePan();
    void zoomButtonsStayOnTop();
    void tapOpensDetails();
    void startingTwiceAsksOnce();
    void placementFarFromTheCentre_data();
    void placementFarFromTheCentre();
    void grouping_data();
    void grouping();
    void groupTap_data();
    void groupTap();
    void crowdBubbles_data();
    void crowdBubbles();

private:
    // A shown map (or its window) of the given size, wired to the list, with the first answer
    // in.
    void start(MapWidget &map, const QSize &size);
    void answer(const std::vector<AnsweredUser> &users) { body.set(userListXml(users)); }
    // Makes the list ask again and waits for the answer and every picture.
    void refresh(MapWidget &map);
    QString picture(const char *name) const { return baseUrl(server) + QLatin1Char('/') + name; }

    HttpServer server;
    ScriptedBody body;
};

void TestMarkerLayer::initTestCase()
{
    useCleanTestPaths();
    const std::string white = toStd(pngBytes(Qt::white));
    const std::string red = toStd(pngBytes(Qt::red, 50));
    const std::string blue = toStd(pngBytes(Qt::blue, 50));
    server.route(ServicePath,
        [this](const HttpRequest &) { return HttpResponse::ok(body.get(), "text/xml"); });
    server.route(
        "/red.png", [red](const HttpRequest &) { return HttpResponse::ok(red, "image/png"); });
    server.route(
        "/blue.png", [blue](const HttpRequest &) { return HttpResponse::ok(blue, "image/png"); });
    server.setFallback(
        [white](const HttpRequest &) { return HttpResponse::ok(white, "image/png"); });
    QVERIFY(server.start());
    qputenv("PINROVA_TILE_SERVER", baseUrl(server).toUtf8());
    qputenv("PINROVA_POSITION_SERVICE", baseUrl(server).toUtf8());
}

void TestMarkerLayer::init()
{
    answer({});
}

void TestMarkerLayer::start(MapWidget &map, const QSize &size)
{
    // The map alone, or in the window that holds it.
    QWidget *window = map.window();
    window->resize(size);
    map.resize(size);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QSignalSpy changed(map.users(), &NearByUserList::userListChanged);
    // The list asks the service only with a session key, which the follower gets elsewhere.
    map.users()->setSessionKey("test-key");
    map.startUserList();
    QVERIFY(changed.wait(10000));
    QTRY_VERIFY_WITH_TIMEOUT(map.engine()->tileInFlight().isEmpty(), 20000);
    QTRY_VERIFY(map.users()->pictureInFlight().isEmpty());
}

void TestMarkerLayer::refresh(MapWidget &map)
{
    QSignalSpy changed(map.users(), &NearByUserList::userListChanged);
    map.users()->updateUserList();
    QVERIFY(changed.wait(10000));
    QTRY_VERIFY(map.users()->pictureInFlight().isEmpty());
    QApplication::processEvents();
}

void TestMarkerLayer::emptyListShowsOwnPosition()
{
    MapWidget map;
    map.setMyPosition(59.944069 + 0.001, 30.306141 + 0.002);
    start(map, QSize(800, 480));
    QCOMPARE(visibleMarkers(map), 0);

    const QImage own(QStringLiteral(":/Icons/Map/UserPos.png"));
    QVERIFY(!own.isNull());
    const QImage shown = map.grab().toImage();
    const QPoint at = map.screenPoint(map.myLatitude(), map.myLongitude());
    // The own-position marker (18 x 18) is centred on the point.
    const QImage scaled = own.scaled(18, 18, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QCOMPARE(shown.pixelColor(at), overWhite(scaled, QPoint(9, 9)));
    QVERIFY(shown.pixelColor(at) != QColor(Qt::white));
}

void TestMarkerLayer::threePeople()
{
    answer({gridUser(0, 3, true), gridUser(1, 3, false), gridUser(2, 3, true)});
    MapWidget map;
    map.setMyPosition(59.95, 30.31);
    start(map, QSize(800, 480));

    QCOMPARE(visibleMarkers(map), 3);
    map.users()->lockForRead();
    const QVector<NearByUser> people = map.users()->users();
    map.users()->unlock();
    QCOMPARE(people.size(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(
            marker(map, i)->pos(), map.screenPoint(people[i].lat, people[i].lon) + QPoint(12, 12));
    for (int i = 3; i < MapWidget::MarkerCount; ++i)
        QVERIFY(marker(map, i)->isHidden());

    // Somebody is near, so the own position is not drawn.
    const QImage shown = map.grab().toImage();
    QCOMPARE(shown.pixelColor(map.screenPoint(59.95, 30.31)), QColor(Qt::white));
}

void TestMarkerLayer::reorderTakesNewPicturesInOnePass()
{
    AnsweredUser a = gridUser(0, 2, true);
    a.picture = picture("red.png");
    AnsweredUser b = gridUser(1, 2, true);
    b.picture = picture("blue.png");
    answer({a, b});
    MapWidget map;
    start(map, QSize(800, 480));
    QTRY_COMPARE(iconColor(marker(map, 0)), QColor(Qt::red));
    QTRY_COMPARE(iconColor(marker(map, 1)), QColor(Qt::blue));

    // The list keeps both pictures, so each slot takes its new person's at once.
    answer({b, a});
    QSignalSpy changed(map.users(), &NearByUserList::userListChanged);
    map.users()->updateUserList();
    QVERIFY(changed.wait(10000));
    QCOMPARE(iconColor(marker(map, 0)), QColor(Qt::blue));
    QCOMPARE(iconColor(marker(map, 1)), QColor(Qt::red));
    QCOMPARE(marker(map, 0)->iconSize(), QSize(50, 50));

    // A newcomer without a picture falls back to the placeholder.
    AnsweredUser c = gridUser(2, 2, true);
    c.id = QStringLiteral("new");
    answer({c, a});
    refresh(map);
    QVERIFY(iconColor(marker(map, 0)) != QColor(Qt::blue));
    QCOMPARE(iconColor(marker(map, 1)), QColor(Qt::red));
}

void TestMarkerLayer::morePeopleThanButtons()
{
    std::vector<AnsweredUser> crowd;
    for (int i = 0; i < 150; ++i)
        crowd.push_back(gridUser(i, 15, i % 2 == 0));
    answer(crowd);
    MapWidget map;
    start(map, QSize(1700, 1800));
    QCOMPARE(visibleMarkers(map), 100);

    const QImage shown = map.grab().toImage();
    const QImage onlineDot(QStringLiteral(":/Icons/Map/DotOnline.png"));
    const QImage offlineDot(QStringLiteral(":/Icons/Map/DotOffline.png"));
    const QImage onlineFrame(QStringLiteral(":/Icons/Map/FrameOnline.png"));
    const QImage offlineFrame(QStringLiteral(":/Icons/Map/FrameOffline.png"));
    map.users()->lockForRead();
    const QVector<NearByUser> people = map.users()->users();
    map.users()->unlock();
    QCOMPARE(people.size(), 150);
    int painted = 0;
    for (const NearByUser &person : people) {
        const QPoint at = map.screenPoint(person.lat, person.lon);
        const QImage &dot = person.online ? onlineDot : offlineDot;
        const QImage &frame = person.online ? onlineFrame : offlineFrame;
        // The dot's middle, and a pixel on the frame's edge the picture button leaves free.
        const bool dotShown = shown.pixelColor(at + QPoint(6, 6)) == overWhite(dot, QPoint(6, 6));
        const bool frameShown
            = shown.pixelColor(at + QPoint(7 + 34, 7 + 2)) == overWhite(frame, QPoint(34, 2));
        painted += dotShown && frameShown;
    }
    QCOMPARE(painted, 150);
}

void TestMarkerLayer::markersFollowThePan()
{
    answer({gridUser(0, 1, true)});
    MapWidget map;
    start(map, QSize(800, 480));
    const QPoint before = marker(map, 0)->pos();
    QTest::keyClick(&map, Qt::Key_Left); // the content moves 20 px right
    QApplication::processEvents();
    QCOMPARE(marker(map, 0)->pos(), before + QPoint(20, 0));
}

void TestMarkerLayer::zoomButtonsStayOnTop()
{
    answer({gridUser(0, 1, true)});
    MapWidget map;
    start(map, QSize(800, 480));
    QList<QWidget *> stack;
    for (QObject *child : map.children()) {
        if (auto *widget = qobject_cast<QWidget *>(child))
            stack << widget;
    }
    // The last children are drawn last: the zoom buttons, above every marker.
    QCOMPARE(stack.at(stack.size() - 2)->pos(), QPoint(5, 7));
    QCOMPARE(stack.last()->pos(), QPoint(5, 103));
}

void TestMarkerLayer::tapOpensDetails()
{
    AnsweredUser first = gridUser(0, 2, true);
    first.name = QStringLiteral("First Person");
    AnsweredUser second = gridUser(1, 2, false);
    second.name = QStringLiteral("Second Person");
    answer({first, second});
    QWidget window;
    auto *map = new MapWidget(&window);
    map->resize(800, 480);
    window.resize(800, 480);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy changed(map->users(), &NearByUserList::userListChanged);
    map->users()->setSessionKey("test-key");
    map->startUserList();
    QVERIFY(changed.wait(10000));

    QTest::mouseClick(marker(*map, 1), Qt::LeftButton);
    MapUserInfo *details = map->details();
    QVERIFY(details);
    QVERIFY(details->isVisible());
    QCOMPARE(details->parentWidget(), &window);
    QCOMPARE(details->findChild<QLabel *>(QStringLiteral("lblName"))->text(),
        QStringLiteral("Second Person"));
    QCOMPARE(details->findChild<QLabel *>(QStringLiteral("OnlineStatus"))->text(),
        QStringLiteral("Offline"));

    QTest::mouseClick(marker(*map, 0), Qt::LeftButton);
    QCOMPARE(map->details(), details);
    QCOMPARE(details->findChild<QLabel *>(QStringLiteral("lblName"))->text(),
        QStringLiteral("First Person"));

    // The list shrank before the buttons caught up: the tap does nothing, so the closed
    // window stays closed.
    QTRY_VERIFY_WITH_TIMEOUT(map->engine()->tileInFlight().isEmpty(), 20000);
    disconnect(map->users(), nullptr, map, nullptr);
    answer({first});
    refresh(*map);
    details->hide();
    QVERIFY(marker(*map, 1)->isVisible());
    QTest::mouseClick(marker(*map, 1), Qt::LeftButton);
    QCOMPARE(map->details(), details);
    QVERIFY(!details->isVisible());
    // The button still standing for somebody opens it again.
    QTest::mouseClick(marker(*map, 0), Qt::LeftButton);
    QVERIFY(details->isVisible());
}

void TestMarkerLayer::startingTwiceAsksOnce()
{
    MapWidget map;
    start(map, QSize(800, 480));
    QSignalSpy changed(map.users(), &NearByUserList::userListChanged);
    // The list asks the service only with a session key, which the follower gets elsewhere.
    map.users()->setSessionKey("test-key");
    map.startUserList();
    QVERIFY(changed.wait(10000));
    server.clearLog();
    // One release, one question to the service.
    QTest::mouseClick(&map, Qt::LeftButton, Qt::NoModifier, QPoint(400, 240));
    QTest::qWait(300);
    int asked = 0;
    for (const HttpRequest &request : server.requests())
        asked += request.path == ServicePath;
    QCOMPARE(asked, 1);

    // The follower re-centres the map: no question now, the next refresh asks about there.
    server.clearLog();
    map.setCenter(59.95, 30.32);
    QTest::qWait(100);
    QCOMPARE(server.requestCount(ServicePath), 0);
    refresh(map);
    QCOMPARE(server.requests().front().query,
        std::string("lat=59.95&lon=30.32&zoomlevel=13&width=800&height=480&crowds=1"));
}

void TestMarkerLayer::placementFarFromTheCentre_data()
{
    QTest::addColumn<QPointF>("centre"); // lat, lon
    QTest::addColumn<int>("zoom");
    QTest::addColumn<QPoint>("side"); // -1 left of / above the view, 0 the middle, 1 beyond

    // Offsets past the int range must stay on their side, never wrap to the other.
    QTest::newRow("centre far west") << QPointF(0, -1e9) << 17 << QPoint(1, 0);
    QTest::newRow("centre far east") << QPointF(0, 1e9) << 17 << QPoint(-1, 0);
    QTest::newRow("centre on the pole") << QPointF(90, 0) << 17 << QPoint(0, 1);
    QTest::newRow("centre on the person") << QPointF(0, 0) << 3 << QPoint(0, 0);
}

void TestMarkerLayer::placementFarFromTheCentre()
{
    QFETCH(QPointF, centre);
    QFETCH(int, zoom);
    QFETCH(QPoint, side);

    MapWidget map;
    map.resize(800, 480);
    map.setZoomLevel(zoom);
    map.setCenter(centre.x(), centre.y());
    const QPoint at = map.screenPoint(0, 0);
    const auto sideOf = [](int value, int size) { return value < 0 ? -1 : value > size ? 1 : 0; };
    QCOMPARE(QPoint(sideOf(at.x(), 800), sideOf(at.y(), 480)), side);
    // Room left for the marker's parts without overflow.
    QVERIFY(qAbs(qint64(at.x())) < (1 << 30) && qAbs(qint64(at.y())) < (1 << 30));
}

void TestMarkerLayer::grouping_data()
{
    QTest::addColumn<QVector<QPoint>>("offsets"); // pixels from the centre at zoom 13
    QTest::addColumn<QString>("markers"); // as describeMarkers() gives them
    QTest::addColumn<int>("detailsOf"); // whose details are open, -1 none
    QTest::addColumn<QString>("withDetails"); // the markers then

    QTest::newRow("overlapping frames make one group")
        << QVector<QPoint> {{0, 0}, {30, 20}, {60, -10}, {200, 0}} << "0+1+2 3" << -1 << "";
    QTest::newRow("a marker's width apart stays alone")
        << QVector<QPoint> {{0, 0}, {78, 0}, {0, -78}} << "0 1 2" << -1 << "";
    // A chain: grouping on screen cells, or after every pan, would cut it elsewhere.
    QTest::newRow("panning never regroups") << QVector<QPoint> {{-3, 0}, {47, 1}, {97, 2}, {147, 3},
        {197, 4}} << "0+1 2+3 4" << -1 << "";
    // A heap, as the demo's walkers make at zoom 13: no two drawn markers overlap, and
    // everyone is behind a shown button, their own or their group's.
    QVector<QPoint> heap;
    for (int i = 0; i < 30; ++i)
        heap << QPoint((i * 37) % 190 - 95, (i * 45) % 170 - 85);
    QTest::newRow("a heap")
        << heap << "0+1+12+16+27 2+3+6+7+8+9+11+13+14+17+18+21+22+23+24+26+28+29 4+5+19+20 10+15+25"
        << -1 << "";
    QTest::newRow("an open details person stays alone")
        << QVector<QPoint> {{0, 0}, {10, 10}, {20, 0}} << "0+1+2" << 1 << "0+2 1";
    QTest::newRow("the details of a group's anchor")
        << QVector<QPoint> {{0, 0}, {10, 10}, {20, 0}} << "0+1+2" << 0 << "0 1+2";
}

void TestMarkerLayer::grouping()
{
    QFETCH(QVector<QPoint>, offsets);
    QFETCH(QString, markers);
    QFETCH(int, detailsOf);
    QFETCH(QString, withDetails);

    answer(offsetUsers(offsets));
    QWidget window;
    auto *map = new MapWidget(&window);
    start(*map, QSize(800, 480));
    if (QTest::currentTestFailed())
        return;
    QApplication::processEvents();

    QCOMPARE(describeMarkers(map->markerGroups()), markers);
    QCOMPARE(visibleMarkers(*map), int(markers.count(QLatin1Char(' ')) + 1));
    QVERIFY(!drawnMarkersOverlap(*map));
    const QVector<MarkerGroup> groups = map->markerGroups();
    for (int person = 0; person < offsets.size(); ++person) {
        const auto holder = std::find_if(groups.begin(), groups.end(),
            [person](const MarkerGroup &group) { return group.members.contains(person); });
        QVERIFY(holder != groups.end());
        QVERIFY(marker(*map, int(holder - groups.begin()))->isVisible());
    }
    // Every pan step by an odd amount, in both directions: the same groups.
    for (int step = 0; step < 6; ++step) {
        dragMap(map, QPoint(step % 2 ? -37 : 53, step % 3 ? 29 : -41));
        QTest::keyClick(map, step % 2 ? Qt::Key_Left : Qt::Key_Down);
        QCOMPARE(describeMarkers(map->markerGroups()), markers);
    }
    // The service lists the same people in another order (they walked): the same groups.
    const QString byName = describeByName(*map);
    std::vector<AnsweredUser> reversed = offsetUsers(offsets);
    std::reverse(reversed.begin(), reversed.end());
    answer(reversed);
    refresh(*map);
    QCOMPARE(describeByName(*map), byName);
    answer(offsetUsers(offsets));
    refresh(*map);
    QCOMPARE(describeMarkers(map->markerGroups()), markers);
    // Off: the designed layer, one button per person.
    map->setGroupingEnabled(false);
    QCOMPARE(visibleMarkers(*map), int(offsets.size()));
    map->setGroupingEnabled(true);
    QCOMPARE(describeMarkers(map->markerGroups()), markers);

    if (detailsOf < 0)
        return;
    // Opened from the designed layer's own button, then grouping back on.
    map->setGroupingEnabled(false);
    QTest::mouseClick(marker(*map, detailsOf), Qt::LeftButton);
    QVERIFY(map->details() && map->details()->isVisible());
    map->setGroupingEnabled(true);
    QCOMPARE(describeMarkers(map->markerGroups()), withDetails);
    // Closing the details lets the person join the group again at once.
    map->details()->hide();
    QCOMPARE(describeMarkers(map->markerGroups()), markers);
    QCOMPARE(visibleMarkers(*map), int(markers.count(QLatin1Char(' ')) + 1));
}

void TestMarkerLayer::groupTap_data()
{
    QTest::addColumn<QVector<QPoint>>("offsets"); // pixels from the centre at zoom 13
    QTest::addColumn<int>("zoom"); // after a tap on the first marker
    QTest::addColumn<QString>("markers"); // then
    QTest::addColumn<int>("choose"); // the chooser's row to pick, -1 when none opens

    // 10 px at 13 are 80 at 16: the first level where the frames no longer overlap.
    QTest::newRow("zooms in until the group splits")
        << QVector<QPoint> {{0, 0}, {10, 0}, {600, 0}} << 16 << "0 1" << -1;
    QTest::newRow("three levels and a group left")
        << QVector<QPoint> {{0, 0}, {10, 0}, {11, 0}} << 16 << "0 1+2" << -1;
    // People on one spot never split: the top level, and a choice among them.
    QTest::newRow("one spot opens the chooser at the top level")
        << QVector<QPoint> {{0, 0}, {0, 0}, {0, 0}} << 17 << "0+1+2" << 1;
    // Everyone is reachable: from the chooser, each by name.
    QTest::newRow("the last of one spot")
        << QVector<QPoint> {{5, 5}, {5, 5}, {5, 5}, {5, 5}} << 17 << "0+1+2+3" << 3;
}

void TestMarkerLayer::groupTap()
{
    QFETCH(QVector<QPoint>, offsets);
    QFETCH(int, zoom);
    QFETCH(QString, markers);
    QFETCH(int, choose);

    answer(offsetUsers(offsets));
    QWidget window;
    auto *map = new MapWidget(&window);
    start(*map, QSize(800, 480));
    if (QTest::currentTestFailed())
        return;
    QApplication::processEvents();
    QVERIFY(map->markerGroups().first().isGroup());

    QTest::mouseClick(marker(*map, 0), Qt::LeftButton);
    QCOMPARE(map->zoomLevel(), zoom);
    QString shown = describeMarkers(map->markerGroups());
    // The far person of a row may stay listed off screen; only the tapped group matters.
    QVERIFY2(shown.startsWith(markers), qPrintable(shown));
    QVERIFY(!drawnMarkersOverlap(*map));
    QCOMPARE(map->chooser() && map->chooser()->isVisible(), choose >= 0);
    if (choose < 0)
        return;
    // A second tap at the top level opens the chooser again rather than zooming.
    map->chooser()->hide();
    QTest::mouseClick(marker(*map, 0), Qt::LeftButton);
    QCOMPARE(map->zoomLevel(), 17);
    QVERIFY(map->chooser()->isVisible());

    auto *list = map->chooser()->findChild<QListWidget *>(QStringLiteral("people"));
    QCOMPARE(list->count(), offsets.size());
    QCOMPARE(list->item(choose)->text(), QStringLiteral("Person %1").arg(choose));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
        list->visualItemRect(list->item(choose)).center());
    QVERIFY(!map->chooser()->isVisible());
    QVERIFY(map->details() && map->details()->isVisible());
    QCOMPARE(map->details()->findChild<QLabel *>(QStringLiteral("lblName"))->text(),
        QStringLiteral("Person %1").arg(choose));
    // The chosen person steps out of the group while their details show.
    QVERIFY(describeMarkers(map->markerGroups())
                .split(QLatin1Char(' '))
                .contains(QString::number(choose)));
}

void TestMarkerLayer::crowdBubbles_data()
{
    QTest::addColumn<bool>("grouping");

    QTest::newRow("grouping on: asked for, drawn, a tap zooms in") << true;
    QTest::newRow("grouping off: the designed layer") << false;
}

void TestMarkerLayer::crowdBubbles()
{
    QFETCH(bool, grouping);

    // One bubble 200 px left of the centre, beside a listed person; a Crowd in a User and one
    // off the world are no bubbles.
    const AnsweredUser person = offsetUser(0, QPoint(0, 0), true);
    const QPointF tile = coordinateToTile(59.944069, 30.306141, 13) + QPointF(-200, 0) / TileSize;
    const double lat = tileToLatitude(tile.y(), 13);
    const double lon = tileToLongitude(tile.x(), 13);
    std::string xml = userListXml(std::vector<AnsweredUser> {person});
    xml.insert(xml.rfind("</ArrayOfUser>"),
        crowdXml(lat, lon, 1234) + crowdXml(95, 0, 5) + "<Crowd><Lat>1</Lat></Crowd>");
    body.set(xml);

    MapWidget map;
    map.setGroupingEnabled(grouping);
    server.clearLog();
    start(map, QSize(800, 480));
    std::string query;
    for (const HttpRequest &request : server.requests()) {
        if (request.path == ServicePath)
            query = request.query;
    }
    QCOMPARE(QString::fromStdString(query).endsWith("&crowds=1"), grouping);
    map.users()->lockForRead();
    const int bubbles = map.users()->crowds().size();
    map.users()->unlock();
    QCOMPARE(bubbles, grouping ? 1 : 0);

    const QPoint at = map.screenPoint(lat, lon);
    QCOMPARE(map.grab().toImage().pixelColor(at + QPoint(0, 12)) != QColor(Qt::white), grouping);
    QTest::mouseClick(&map, Qt::LeftButton, Qt::NoModifier, at + QPoint(0, 12));
    if (!grouping) {
        QCOMPARE(map.zoomLevel(), 13);
        return;
    }
    QCOMPARE(map.zoomLevel(), 15);
    QVERIFY(qAbs(map.engine()->latitude() - lat) < 1e-6);
    QVERIFY(qAbs(map.engine()->longitude() - lon) < 1e-6);
}

QTEST_MAIN(TestMarkerLayer)
#include "tst_markerlayer.moc"
