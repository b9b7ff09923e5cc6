#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QtTest>

#include "httpserver.h"
#include "mainwindow.h"
#include "mapwidget.h"
#include "testsupport.h"

using Pinrova::Map::MapWidget;

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void formLayout();
    void zoomSlotsStepTheMap_data();
    void zoomSlotsStepTheMap();

private:
    Pinrova::Testing::HttpServer server;
};

void TestMainWindow::initTestCase()
{
    Pinrova::Testing::useCleanTestPaths();
    QVERIFY(server.start()); // answers every tile with 404, so nothing leaves the machine
    qputenv("PINROVA_TILE_SERVER", Pinrova::Testing::baseUrl(server).toUtf8());
}

void TestMainWindow::formLayout()
{
    MainWindow window;
    QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Pinrova"));
    QCOMPARE(window.size(), QSize(800, 480));

    QWidget *central = window.centralWidget();
    QVERIFY(central);
    QCOMPARE(central->objectName(), QStringLiteral("centralWidget"));
    auto *horizontal = qobject_cast<QHBoxLayout *>(central->layout());
    QVERIFY(horizontal);
    QCOMPARE(horizontal->objectName(), QStringLiteral("horizontalLayout"));
    QCOMPARE(horizontal->spacing(), 6);
    QCOMPARE(horizontal->contentsMargins(), QMargins(11, 11, 11, 11));

    auto *vertical = central->findChild<QVBoxLayout *>(QStringLiteral("verticalLayout"));
    QVERIFY(vertical);
    QCOMPARE(vertical->spacing(), 6);
    QCOMPARE(horizontal->stretch(horizontal->indexOf(vertical)), 0);

    // The map is the window's child and sits in the vertical layout.
    MapWidget *map = window.map();
    QVERIFY(map);
    QVERIFY(window.isAncestorOf(map));
    QVERIFY(vertical->indexOf(map) >= 0);

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(map->width() > 700 && map->height() > 400);
}

void TestMainWindow::zoomSlotsStepTheMap_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<bool>("in");
    QTest::addColumn<int>("expected");
    QTest::newRow("in") << 13 << true << 14;
    QTest::newRow("out") << 13 << false << 12;
    QTest::newRow("in at the top") << 17 << true << 17;
}

void TestMainWindow::zoomSlotsStepTheMap()
{
    QFETCH(int, start);
    QFETCH(bool, in);
    QFETCH(int, expected);

    MainWindow window;
    window.map()->setZoomLevel(start);
    QSignalSpy stopped(window.map(), &MapWidget::userStoppedMovingMap);
    if (in)
        window.zoomIn();
    else
        window.zoomOut();
    QCOMPARE(window.map()->zoomLevel(), expected);
    QCOMPARE(stopped.count(), 1);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
