#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

#include "httpserver.h"
#include "mapwidget.h"
#include "slippymap.h"
#include "testsupport.h"
#include "tileserver.h"

using namespace Pinrova::Map;
using namespace Pinrova::Testing;

namespace {

void sendMouse(QWidget *widget, QEvent::Type type, const QPoint &pos, Qt::MouseButton button,
    Qt::MouseButtons held)
{
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// A press, the moves with the left button held, and a release at the last point.
void drag(QWidget *widget, const QPoint &from, const QList<QPoint> &moves)
{
    sendMouse(widget, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    for (const QPoint &to : moves)
        sendMouse(widget, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    sendMouse(widget, QEvent::MouseButtonRelease, moves.isEmpty() ? from : moves.last(),
        Qt::LeftButton, Qt::NoButton);
}

QPointF centreInPixels(const MapWidget &map)
{
    const SlippyMap *engine = map.engine();
    return coordinateToTile(engine->latitude(), engine->longitude(), engine->zoomLevel())
        * TileSize;
}

// The latitude and longitude under a pixel of the widget.
QPointF coordinateAt(const MapWidget &map, const QPoint &pixel)
{
    const int zoom = map.zoomLevel();
    const QPointF tile = centreInPixels(map) / TileSize
        + QPointF(pixel - QPoint(map.width() / 2, map.height() / 2)) / TileSize;
    return QPointF(tileToLatitude(tile.y(), zoom), tileToLongitude(tile.x(), zoom));
}

void sendWheel(QWidget *widget, const QPoint &pos, int angle)
{
    QWheelEvent event(pos, widget->mapToGlobal(pos), QPoint(), QPoint(0, angle), Qt::NoButton,
        Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

} // namespace

class TestMapWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void pointerGestures_data();
    void pointerGestures();
    void otherButtonsDoNotPan();
    void arrowKeys_data();
    void arrowKeys();
    void zoomButtons_data();
    void zoomButtons();
    void wheelZoomsAboutTheCursor_data();
    void wheelZoomsAboutTheCursor();
    void resizePlacesButtonsAndLaysOut();
    void setCenterAndMyPositionAreSilent();
    void paintsTilesAndAttribution();

private:
    HttpServer server;
};

void TestMapWidget::initTestCase()
{
    QVERIFY(server.start());
    qputenv("PINROVA_TILE_SERVER", baseUrl(server).toUtf8());
}

void TestMapWidget::init()
{
    useCleanTestPaths();
    server.setFallback(colouredTile);
    server.clearLog();
}

void TestMapWidget::pointerGestures_data()
{
    QTest::addColumn<QList<QPoint>>("moves");
    QTest::addColumn<int>("movedSignals");
    QTest::addColumn<QPoint>("panned");

    const QPoint press(400, 240);
    QTest::newRow("tap") << QList<QPoint> {press + QPoint(3, -4)} << 0 << QPoint();
    QTest::newRow("9 px on both axes is still a tap")
        << QList<QPoint> {press + QPoint(9, 9), press + QPoint(-9, -9)} << 0 << QPoint();
    // The move that leaves the square only ends the tap; the next one pans all the way.
    QTest::newRow("10 px only ends the tap")
        << QList<QPoint> {press + QPoint(10, 0)} << 0 << QPoint();
    QTest::newRow("drag right") << QList<QPoint> {press + QPoint(12, 0), press + QPoint(30, 0),
        press + QPoint(50, 0)} << 2
                                << QPoint(50, 0);
    QTest::newRow("drag up and left") << QList<QPoint> {press + QPoint(0, -15),
        press + QPoint(-20, -40), press + QPoint(-60, -70), press + QPoint(-61, -70)}
                                      << 3 << QPoint(-61, -70);
}

void TestMapWidget::pointerGestures()
{
    QFETCH(QList<QPoint>, moves);
    QFETCH(int, movedSignals);
    QFETCH(QPoint, panned);

    MapWidget map;
    map.resize(800, 480);
    map.show(); // a hidden widget gets its resize only when shown
    const QPointF before = centreInPixels(map);
    QSignalSpy moved(&map, &MapWidget::userMovedMap);
    QSignalSpy stopped(&map, &MapWidget::userStoppedMovingMap);

    drag(&map, QPoint(400, 240), moves);

    QCOMPARE(moved.count(), movedSignals);
    QCOMPARE(stopped.count(), 1);
    // The content follows the pointer: the centre moves the other way.
    const QPointF shift = before - centreInPixels(map);
    QVERIFY2(qAbs(shift.x() - panned.x()) < 0.5 && qAbs(shift.y() - panned.y()) < 0.5,
        qPrintable(QStringLiteral("%1,%2").arg(shift.x()).arg(shift.y())));

    const QList<QVariant> last = stopped.last();
    QCOMPARE(last.at(0).value<qreal>(), map.engine()->latitude());
    QCOMPARE(last.at(1).value<qreal>(), map.engine()->longitude());
    QCOMPARE(last.at(2).toInt(), 13);
    if (movedSignals > 0)
        QCOMPARE(moved.last().at(1).value<qreal>(), map.engine()->longitude());
}

void TestMapWidget::otherButtonsDoNotPan()
{
    MapWidget map;
    map.resize(800, 480);
    map.show(); // a hidden widget gets its resize only when shown
    QSignalSpy moved(&map, &MapWidget::userMovedMap);
    QSignalSpy stopped(&map, &MapWidget::userStoppedMovingMap);
    const QPointF before = centreInPixels(map);

    // Right button: no tap candidate, and a move without any buttons does nothing at all.
    sendMouse(&map, QEvent::MouseButtonPress, QPoint(100, 100), Qt::RightButton, Qt::RightButton);
    sendMouse(&map, QEvent::MouseMove, QPoint(300, 300), Qt::NoButton, Qt::NoButton);
    sendMouse(&map, QEvent::MouseButtonRelease, QPoint(300, 300), Qt::RightButton, Qt::NoButton);
    QCOMPARE(moved.count(), 0);
    QCOMPARE(stopped.count(), 1); // every release reports where the map stands
    QCOMPARE(centreInPixels(map), before);
}

void TestMapWidget::arrowKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QPoint>("centreShift");

    // Left shows more of the west, up more of the north, 20 px a press.
    QTest::newRow("left") << int(Qt::Key_Left) << QPoint(-20, 0);
    QTest::newRow("right") << int(Qt::Key_Right) << QPoint(20, 0);
    QTest::newRow("up") << int(Qt::Key_Up) << QPoint(0, -20);
    QTest::newRow("down") << int(Qt::Key_Down) << QPoint(0, 20);
    QTest::newRow("other key") << int(Qt::Key_A) << QPoint();
}

void TestMapWidget::arrowKeys()
{
    QFETCH(int, key);
    QFETCH(QPoint, centreShift);

    MapWidget map;
    map.resize(800, 480);
    map.show(); // a hidden widget gets its resize only when shown
    QSignalSpy moved(&map, &MapWidget::userMovedMap);
    QSignalSpy stopped(&map, &MapWidget::userStoppedMovingMap);
    const QPointF before = centreInPixels(map);

    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&map, &press);

    // A key the map does not use goes on to its parent.
    QCOMPARE(press.isAccepted(), !centreShift.isNull());
    QCOMPARE(moved.count(), centreShift.isNull() ? 0 : 1);
    QCOMPARE(stopped.count(), 0);
    const QPointF shift = centreInPixels(map) - before;
    QVERIFY2(qAbs(shift.x() - centreShift.x()) < 0.5 && qAbs(shift.y() - centreShift.y()) < 0.5,
        qPrintable(QStringLiteral("%1,%2").arg(shift.x()).arg(shift.y())));
}

void TestMapWidget::zoomButtons_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<bool>("in");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("key"); // 0: the button
    QTest::newRow("in") << 13 << true << 14 << 0;
    QTest::newRow("out") << 13 << false << 12 << 0;
    QTest::newRow("in at 17 stays") << 17 << true << 17 << 0;
    QTest::newRow("out at 3 stays") << 3 << false << 3 << 0;
    QTest::newRow("+ key") << 13 << true << 14 << int(Qt::Key_Plus);
    QTest::newRow("= key") << 13 << true << 14 << int(Qt::Key_Equal);
    QTest::newRow("- key") << 13 << false << 12 << int(Qt::Key_Minus);
    QTest::newRow("+ key at 17 stays") << 17 << true << 17 << int(Qt::Key_Plus);
}

void TestMapWidget::zoomButtons()
{
    QFETCH(int, start);
    QFETCH(bool, in);
    QFETCH(int, expected);
    QFETCH(int, key);

    MapWidget map;
    map.resize(800, 480);
    map.show(); // a hidden widget gets its resize only when shown
    map.setZoomLevel(start);
    QTRY_VERIFY_WITH_TIMEOUT(map.engine()->tileInFlight().isEmpty(), 20000);
    QVERIFY(!map.engine()->cachedTiles().isEmpty());
    QSignalSpy stopped(&map, &MapWidget::userStoppedMovingMap);

    const QList<QToolButton *> buttons = map.findChildren<QToolButton *>();
    QToolButton *button = nullptr;
    for (QToolButton *candidate : buttons) {
        if (candidate->pos() == (in ? QPoint(5, 7) : QPoint(5, 103)))
            button = candidate;
    }
    QVERIFY(button);
    // Neither button takes the focus, so the arrows stay with the map.
    QCOMPARE(button->focusPolicy(), Qt::NoFocus);
    if (key)
        QTest::keyClick(&map, Qt::Key(key));
    else
        button->click();

    QCOMPARE(map.zoomLevel(), expected);
    QCOMPARE(stopped.count(), 1);
    QCOMPARE(stopped.first().at(2).toInt(), expected);
    // The whole view is fetched again, even when the level did not change.
    QVERIFY(map.engine()->cachedTiles().size() < 3);
}

void TestMapWidget::wheelZoomsAboutTheCursor_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<QList<int>>("angles");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("stops");
    QTest::addColumn<QPoint>("cursor");

    const QPoint centre(400, 240);
    const QPoint off(613, 91);
    QTest::newRow("notch up at the centre") << 13 << QList<int> {120} << 14 << 1 << centre;
    QTest::newRow("notch up off the centre") << 13 << QList<int> {120} << 14 << 1 << off;
    QTest::newRow("notch down off the centre") << 13 << QList<int> {-120} << 12 << 1 << off;
    QTest::newRow("two notches in one event") << 13 << QList<int> {240} << 15 << 2 << off;
    QTest::newRow("trackpad steps add up") << 13 << QList<int> {30, 30, 30, 30} << 14 << 1 << off;
    QTest::newRow("less than a notch") << 13 << QList<int> {119} << 13 << 0 << off;
    QTest::newRow("a turn back starts afresh") << 13 << QList<int> {90, -120} << 12 << 1 << off;
    QTest::newRow("up at 17 stays") << 17 << QList<int> {120} << 17 << 1 << off;
    QTest::newRow("down at 3 stays") << 3 << QList<int> {-120} << 3 << 1 << off;
}

void TestMapWidget::wheelZoomsAboutTheCursor()
{
    QFETCH(int, start);
    QFETCH(QList<int>, angles);
    QFETCH(int, expected);
    QFETCH(int, stops);
    QFETCH(QPoint, cursor);

    MapWidget map;
    map.resize(800, 480);
    map.show();
    map.setZoomLevel(start);
    const QPointF under = coordinateAt(map, cursor);
    QSignalSpy stopped(&map, &MapWidget::userStoppedMovingMap);

    for (int angle : angles)
        sendWheel(&map, cursor, angle);

    QCOMPARE(map.zoomLevel(), expected);
    QCOMPARE(stopped.count(), stops);
    if (stops)
        QCOMPARE(stopped.last().at(2).toInt(), expected);
    // The place under the cursor stays there, to the pixel.
    const QPoint now = map.screenPoint(under.x(), under.y());
    QVERIFY2((now - cursor).manhattanLength() <= 2,
        qPrintable(QStringLiteral("%1,%2").arg(now.x()).arg(now.y())));
}

void TestMapWidget::resizePlacesButtonsAndLaysOut()
{
    MapWidget map;
    map.resize(320, 200);
    map.show();
    QVERIFY(QTest::qWaitForWindowExposed(&map));
    map.resize(800, 424);
    QApplication::processEvents();

    QList<QPoint> positions;
    for (QToolButton *button : map.findChildren<QToolButton *>())
        positions << button->pos();
    QVERIFY(positions.contains(QPoint(5, 7)));
    QVERIFY(positions.contains(QPoint(5, 103)));
    QCOMPARE(map.engine()->visibleTiles(), QRect(QPoint(4784, 2380), QPoint(4787, 2382)));
}

void TestMapWidget::setCenterAndMyPositionAreSilent()
{
    MapWidget map;
    map.resize(800, 480);
    map.show(); // a hidden widget gets its resize only when shown
    QSignalSpy moved(&map, &MapWidget::userMovedMap);
    QSignalSpy stopped(&map, &MapWidget::userStoppedMovingMap);

    map.setCenter(48.8566, 2.3522);
    map.setMyPosition(55.75, 37.62);

    QCOMPARE(moved.count() + stopped.count(), 0);
    QCOMPARE(map.engine()->latitude(), 48.8566);
    QCOMPARE(map.engine()->longitude(), 2.3522);
    QCOMPARE(map.myLatitude(), 55.75);
    QCOMPARE(map.myLongitude(), 37.62);
    const QPointF tile = coordinateToTile(48.8566, 2.3522, 13);
    QVERIFY(map.engine()->visibleTiles().contains(int(tile.x()), int(tile.y())));
}

void TestMapWidget::paintsTilesAndAttribution()
{
    MapWidget map;
    map.resize(800, 424);
    map.show();
    QVERIFY(QTest::qWaitForWindowExposed(&map));
    QTRY_VERIFY_WITH_TIMEOUT(map.engine()->tileInFlight().isEmpty(), 20000);

    const QImage image = map.grab().toImage();
    // Tile (4785, 2381) sits at (237, 84).
    QCOMPARE(image.pixelColor(237 + 100, 84 + 100), tileColor(13, 4785, 2381));
    // The credit is black text along the bottom-left edge.
    bool foundText = false;
    for (int x = 0; x < 300 && !foundText; ++x) {
        for (int y = 424 - 14; y < 424 && !foundText; ++y)
            foundText = image.pixelColor(x, y) == QColor(Qt::black);
    }
    QVERIFY(foundText);
}

QTEST_MAIN(TestMapWidget)
#include "tst_mapwidget.moc"
