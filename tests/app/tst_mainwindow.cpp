#include <QAction>
#include <QDBusMessage>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <QVBoxLayout>
#include <QWebEngineView>
#include <QtTest>

#include "about.h"
#include "follower.h"
#include "isocialinfo.h"
#include "loginwidget.h"
#include "mainwindow.h"
#include "mapwidget.h"
#include "nearbyuserlist.h"
#include "networkcheck.h"
#include "slippymap.h"
#include "testsupport.h"

using Pinrova::Map::MapWidget;

namespace {

QAction *menuEntry(MainWindow &window, const QString &text)
{
    for (QAction *action : window.menuBar()->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

QVBoxLayout *contentLayout(MainWindow &window)
{
    return window.centralWidget()->findChild<QVBoxLayout *>(QStringLiteral("verticalLayout"));
}

void invoke(QObject *object, const char *slot)
{
    QVERIFY(QMetaObject::invokeMethod(object, slot));
}

// What the mode-control service would announce.
void announceDisplay(MainWindow &window, const QString &state)
{
    QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/com/nokia/mce/signal"),
        QStringLiteral("com.nokia.mce.signal"), QStringLiteral("display_status_ind"));
    signal << state;
    QVERIFY(QMetaObject::invokeMethod(&window, "displayStateChanged", Q_ARG(QDBusMessage, signal)));
}

void activate(QWidget *window)
{
    window->show();
    window->raise();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void formLayout();
    void zoomSlotsStepTheMap_data();
    void zoomSlotsStepTheMap();
    void chooserFollowsTheSession();
    void signInSwapsChooserForMap();
    void keysReachTheMap();
    void signInFailureEndsTheEventLoop();
    void followMeToggles();
    void aboutIsOneWindow();
    void groupingIsRemembered();
    void displayStates_data();
    void displayStates();
    void cleanUpTwiceIsHarmless();
    void activationActsOnTheDisplayState_data();
    void activationActsOnTheDisplayState();

private:
    Pinrova::Testing::HttpServer server;
};

void TestMainWindow::initTestCase()
{
    Pinrova::Testing::useCleanTestPaths();
    // Tiles, profiles and reports all get a 404 here, so nothing leaves the machine; "/" is
    // where a Facebook sign-in lands.
    server.route("/", [](const Pinrova::Testing::HttpRequest &) {
        return Pinrova::Testing::HttpResponse::ok(
            "<html><body>Signed in</body></html>", "text/html");
    });
    QVERIFY(server.start());
    qputenv("PINROVA_REDIRECT_HOST", "127.0.0.1");
    // Fixes every few seconds from the replayed walk.
    QCoreApplication::addLibraryPath(QStringLiteral(PINROVA_PLUGIN_DIR));
    qputenv("PINROVA_POSITION_REPLAY", QByteArray(PINROVA_TRACK));
    for (const char *name : {"PINROVA_TILE_SERVER", "PINROVA_POSITION_SERVICE",
             "PINROVA_FACEBOOK_WEB", "PINROVA_FACEBOOK_GRAPH", "PINROVA_VK_HOST"})
        qputenv(name, Pinrova::Testing::baseUrl(server).toUtf8());
    // Every server is on loopback, so the window goes on also where no network is configured.
    QVERIFY(networkUsable());
    // Without a position source the follower warns once per process in a window-modal box,
    // which would take the keys of whichever test comes first.
    QWidget parent;
    Pinrova::Map::Follower(nullptr, nullptr, &parent).startPositionUpdates();
    for (QMessageBox *box : parent.findChildren<QMessageBox *>())
        box->close();
}

void TestMainWindow::init()
{
    QSettings(QStringLiteral("Tavrion"), QStringLiteral("Pinrova")).remove(QStringLiteral("UID"));
}

void TestMainWindow::formLayout()
{
    MainWindow window;
    QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Pinrova"));
    QCOMPARE(window.size(), QSize(800, 480));

    QWidget *central = window.centralWidget();
    QCOMPARE(central->objectName(), QStringLiteral("centralWidget"));
    auto *horizontal = qobject_cast<QHBoxLayout *>(central->layout());
    QVERIFY(horizontal);
    QCOMPARE(horizontal->objectName(), QStringLiteral("horizontalLayout"));
    QCOMPARE(horizontal->spacing(), 6);
    QCOMPARE(horizontal->contentsMargins(), QMargins(11, 11, 11, 11));
    QVBoxLayout *vertical = contentLayout(window);
    QVERIFY(vertical);
    QCOMPARE(vertical->spacing(), 6);

    // "Connecting...", then the map, hidden until the user has signed in.
    QCOMPARE(vertical->count(), 2);
    auto *label = qobject_cast<QLabel *>(vertical->itemAt(0)->widget());
    QVERIFY(label);
    QCOMPARE(label->text(), QStringLiteral("Connecting..."));
    QCOMPARE(vertical->itemAt(1)->widget(), window.map());
    QVERIFY(window.map()->isHidden());
    QVERIFY(menuEntry(window, QStringLiteral("Follow me")));
    QVERIFY(!menuEntry(window, QStringLiteral("Follow me"))->isCheckable());
    QVERIFY(menuEntry(window, QStringLiteral("About")));
    QVERIFY(window.positionFollower());
    QVERIFY(!window.installationId().isNull());
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

void TestMainWindow::chooserFollowsTheSession()
{
    MainWindow window;
    window.show();
    QTRY_VERIFY(window.chooser());
    LoginWidget *first = window.chooser();
    QTRY_VERIFY(first->isVisible());
    QVERIFY(window.findChild<QLabel *>()->isHidden());
    QCOMPARE(contentLayout(window)->indexOf(first), 2); // below the map

    // Every opened() makes a chooser of its own.
    invoke(&window, "networkSessionOpened");
    QVERIFY(window.chooser() != first);
    QCOMPARE(window.findChildren<LoginWidget *>().size(), 2);
    QVERIFY(
        contentLayout(window)->indexOf(window.chooser()) > contentLayout(window)->indexOf(first));
}

void TestMainWindow::signInSwapsChooserForMap()
{
    MainWindow window;
    window.show();
    QTRY_VERIFY(window.chooser());
    QPointer<LoginWidget> chooser = window.chooser();

    emit chooser->finalLoginResult(true);

    QVERIFY(chooser); // alive, hidden, out of the layout
    QVERIFY(chooser->isHidden());
    QCOMPARE(contentLayout(window)->indexOf(chooser), -1);
    QVERIFY(!window.chooser());
    QVERIFY(window.map()->isVisible());
    QVERIFY(window.positionFollower()->isFollowing());
}

void TestMainWindow::keysReachTheMap()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTRY_VERIFY(window.chooser());
    server.clearLog();
    // Nobody signs in here, so no Register hands the list its key.
    window.map()->users()->setSessionKey("test-key");
    emit window.chooser()->finalLoginResult(true);
    MapWidget *map = window.map();

    // The first list is about what the map shows, with the map's size.
    const QString path = QStringLiteral("/PosService/PosService.svc/GetUsers");
    QTRY_VERIFY(server.requestCount(path.toStdString()) > 0);
    for (const auto &request : server.requests()) {
        if (request.path != path.toStdString())
            continue;
        // The map's centre at sign-in; the walk moves it right after.
        QCOMPARE(request.queryValue("lat"), std::string("59.9441"));
        QCOMPARE(request.queryValue("lon"), std::string("30.3061"));
        QCOMPARE(request.queryValue("zoomlevel"), std::string("13"));
        QCOMPARE(request.queryValue("width"), std::to_string(map->width()));
        QCOMPARE(request.queryValue("height"), std::to_string(map->height()));
        break;
    }

    // Keys go to the window as a person's do, and reach the map, also after a click on a
    // zoom button.
    QWindow *handle = window.windowHandle();
    const qreal lon = map->engine()->longitude();
    QTest::keyClick(handle, Qt::Key_Left);
    QVERIFY(map->engine()->longitude() < lon);
    auto *zoomIn = qobject_cast<QToolButton *>(map->childAt(26, 28)); // top left, at (5, 7)
    QVERIFY(zoomIn);
    QTest::mouseClick(zoomIn, Qt::LeftButton);
    QCOMPARE(map->zoomLevel(), 14);
    QSignalSpy stopped(map, &MapWidget::userStoppedMovingMap);
    QTest::keyClick(handle, Qt::Key_Plus);
    QTest::keyClick(handle, Qt::Key_Minus);
    QTest::keyClick(handle, Qt::Key_Equal);
    QCOMPARE(stopped.count(), 3);
    QCOMPARE(map->zoomLevel(), 15); // the button's 14, then +, - and =
    QVERIFY(map->hasFocus());
}

void TestMainWindow::signInFailureEndsTheEventLoop()
{
    auto *window = new MainWindow;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    QTRY_VERIFY(window->chooser());
    LoginWidget *chooser = window->chooser();
    QTimer::singleShot(0, chooser, [chooser] { emit chooser->finalLoginResult(false); });
    QTimer::singleShot(10000, qApp, [] { QCoreApplication::exit(99); }); // a hang fails, not blocks
    QCOMPARE(QApplication::exec(), 0);
}

void TestMainWindow::followMeToggles()
{
    MainWindow window;
    QAction *follow = menuEntry(window, QStringLiteral("Follow me"));
    Pinrova::Map::Follower *follower = window.positionFollower();
    const bool before = follower->isFollowing();
    follow->trigger();
    QCOMPARE(follower->isFollowing(), !before);
    follow->trigger();
    QCOMPARE(follower->isFollowing(), before);

    window.show();
    QTRY_VERIFY(window.chooser());
    emit window.chooser()->finalLoginResult(true);
    QVERIFY(follower->isFollowing());
    follow->trigger();
    QVERIFY(!follower->isFollowing());
}

void TestMainWindow::aboutIsOneWindow()
{
    MainWindow window;
    QAction *about = menuEntry(window, QStringLiteral("About"));
    about->trigger();
    const QList<About *> windows = window.findChildren<About *>();
    QCOMPARE(windows.size(), 1);
    QVERIFY(windows.first()->isVisible());
    QVERIFY(windows.first()->isWindow());
    windows.first()->close();
    about->trigger();
    QCOMPARE(window.findChildren<About *>(), windows);
    QVERIFY(windows.first()->isVisible());
}

void TestMainWindow::groupingIsRemembered()
{
    QSettings(QStringLiteral("Tavrion"), QStringLiteral("Pinrova"))
        .remove(QStringLiteral("GroupNearbyPeople"));
    {
        MainWindow window;
        QAction *grouping = menuEntry(window, QStringLiteral("Group nearby people"));
        QVERIFY(grouping && grouping->isCheckable());
        // On by default.
        QVERIFY(grouping->isChecked());
        QVERIFY(window.map()->groupingEnabled());
        grouping->trigger();
        QVERIFY(!window.map()->groupingEnabled());
    }
    // The next start keeps the choice.
    MainWindow window;
    QAction *grouping = menuEntry(window, QStringLiteral("Group nearby people"));
    QVERIFY(!grouping->isChecked());
    QVERIFY(!window.map()->groupingEnabled());
    grouping->trigger();
    QVERIFY(window.map()->groupingEnabled());
}

void TestMainWindow::displayStates_data()
{
    QTest::addColumn<QStringList>("states");
    QTest::addColumn<bool>("displayOn");

    QTest::newRow("none") << QStringList() << false;
    QTest::newRow("on") << QStringList {"on"} << true;
    QTest::newRow("on then off") << QStringList {"on", "off"} << false;
    QTest::newRow("dimmed keeps on") << QStringList {"on", "dimmed"} << true;
    QTest::newRow("dimmed keeps off") << QStringList {"off", "dimmed"} << false;
    QTest::newRow("case matters") << QStringList {"ON"} << false;
    QTest::newRow("empty changes nothing") << QStringList {"on", ""} << true;
    QTest::newRow("unknown changes nothing") << QStringList {"on", "bright"} << true;
}

void TestMainWindow::displayStates()
{
    QFETCH(QStringList, states);
    QFETCH(bool, displayOn);

    MainWindow window;
    for (const QString &state : states)
        announceDisplay(window, state);
    // A message without arguments is ignored.
    QVERIFY(QMetaObject::invokeMethod(
        &window, "displayStateChanged", Q_ARG(QDBusMessage, QDBusMessage())));
    QCOMPARE(window.isDisplayOn(), displayOn);
}

void TestMainWindow::cleanUpTwiceIsHarmless()
{
    MainWindow window;
    QPointer<Pinrova::Map::Follower> follower = window.positionFollower();
    invoke(&window, "cleanUp");
    invoke(&window, "cleanUp");
    QVERIFY(!window.positionFollower());
    QTRY_VERIFY(!follower); // deleted later
    menuEntry(window, QStringLiteral("Follow me"))->trigger(); // no follower: nothing
    invoke(&window, "updateActiveState");
}

void TestMainWindow::activationActsOnTheDisplayState_data()
{
    QTest::addColumn<QString>("storedUid");
    QTest::addColumn<bool>("communicates");

    QTest::newRow("installation uid") << QString() << true;
    // A stored text that is no UUID: positions still show on the map, nothing goes out.
    QTest::newRow("null uid") << QStringLiteral("not a uuid") << false;
}

// The display state only takes effect at the next activation change: an active window keeps its
// updates when the display goes off, and the next deactivation stops them.
void TestMainWindow::activationActsOnTheDisplayState()
{
    QFETCH(QString, storedUid);
    QFETCH(bool, communicates);

    if (!storedUid.isEmpty())
        QSettings(QStringLiteral("Tavrion"), QStringLiteral("Pinrova"))
            .setValue(QStringLiteral("UID"), storedUid);
    // Signed in, so starting the server communication asks for the profile.
    const QSharedPointer<Pinrova::Social::ISocialInfo> facebook
        = Pinrova::Social::socialInfoForNetwork(Facebook);
    if (!facebook->isLoggedIn()) {
        QWebEngineView view;
        facebook->setWebView(&view);
        view.setUrl(QUrl(Pinrova::Testing::baseUrl(server) + QStringLiteral("/#access_token=t")));
        QTRY_VERIFY(facebook->isLoggedIn());
        facebook->detachWebView();
    }
    server.clearLog();

    MainWindow window;
    QCOMPARE(window.installationId().isNull(), !communicates);
    QSignalSpy fixes(window.positionFollower(), &Pinrova::Map::Follower::newPosition);
    announceDisplay(window, QStringLiteral("on"));
    activate(&window);
    // Polled rather than waited for: an earlier case quits the application, after which no
    // event loop runs.
    QTRY_VERIFY_WITH_TIMEOUT(!fixes.isEmpty(), 10000);
    QTRY_COMPARE(server.requestCount("/me") > 0, communicates);
    QTest::qWait(200);
    QCOMPARE(server.requestCount("/me") > 0, communicates);

    announceDisplay(window, QStringLiteral("off"));
    QVERIFY(!window.isDisplayOn());
    fixes.clear();
    QTRY_VERIFY_WITH_TIMEOUT(!fixes.isEmpty(), 10000); // still running

    QWidget elsewhere;
    elsewhere.resize(100, 100);
    activate(&elsewhere);
    QTest::qWait(200);
    fixes.clear();
    QTest::qWait(4500); // longer than the 3 s between fixes
    QCOMPARE(fixes.count(), 0);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
