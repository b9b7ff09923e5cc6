#include <QDBusInterface>
#include <QDBusReply>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QSettings>
#include <QToolButton>
#include <QtTest>

#include <memory>

#include "facebookstandin.h"
#include "follower.h"
#include "getusersanswer.h"
#include "isocialinfo.h"
#include "loginwidget.h"
#include "mainwindow.h"
#include "mapuserinfo.h"
#include "mapwidget.h"
#include "networkcheck.h"
#include "privatebus.h"
#include "storedfiles.h"
#include "wholeapp.h"
#include "testsupport.h"
#include "webloginform.h"

using namespace Pinrova::Testing;

namespace {

const std::string Service = "/PosService/PosService.svc/";

int reports(const HttpServer &service)
{
    return service.requestCount(Service + "SetPos");
}

} // namespace

// The whole application in one process against its world on loopback: a private system bus
// with the mode-control stand-in, the replayed track as the position source, the tile server,
// the Facebook stand-in and a recording position service.
class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void signInMapPeopleAndActivation();

private:
    void activate(QWidget *window);
    void setDisplay(const QString &state);

    std::unique_ptr<PrivateBus> bus;
    HttpServer tiles;
    HttpServer facebookServer;
    HttpServer service;
    std::unique_ptr<Pinrova::Sandbox::FacebookStandIn> facebook;
    std::unique_ptr<QWidget> elsewhere; // takes the activation away from the main window
};

void TestEndToEnd::initTestCase()
{
    // A first start: a new installation identifier is made.
    const QString failed = prepareWholeApp(bus);
    QVERIFY2(failed.isEmpty(), qPrintable(failed));

    const std::string white = toStd(pngBytes(Qt::white));
    tiles.setFallback(
        [white](const HttpRequest &) { return HttpResponse::ok(white, "image/png"); });

    Pinrova::Sandbox::FacebookStandIn::Options options;
    options.redirectHost = QStringLiteral("localhost");
    facebook = std::make_unique<Pinrova::Sandbox::FacebookStandIn>(facebookServer, options);

    const std::string red = toStd(pngBytes(Qt::red, 50));
    // A session key, without which the app lists nobody.
    service.route(Service + "Register", [](const HttpRequest &) {
        return HttpResponse::ok("q7Vd0-3mW_kP2xYc9LzR4nTa8sBf6hGj1uEo5iXlKwQ", "text/plain");
    });
    service.route(
        Service + "SetPos", [](const HttpRequest &) { return HttpResponse::ok("", "text/plain"); });
    service.route(
        "/face.png", [red](const HttpRequest &) { return HttpResponse::ok(red, "image/png"); });
    for (HttpServer *server : {&tiles, &facebookServer, &service})
        QVERIFY(server->start());

    AnsweredUser near;
    near.id = QStringLiteral("501");
    near.name = QStringLiteral("Near One");
    near.lat = 59.9445;
    near.lon = 30.3070;
    near.picture = baseUrl(service) + QStringLiteral("/face.png");
    AnsweredUser other = near;
    other.id = QStringLiteral("502");
    other.name = QStringLiteral("Near Two");
    // About 90 pixels south at zoom 13: markers that overlap would be drawn as one group.
    other.lat = 59.9368;
    other.online = false;
    const std::string people = userListXml(std::vector<AnsweredUser> {near, other});
    service.route(Service + "GetUsers",
        [people](const HttpRequest &) { return HttpResponse::ok(people, "text/xml"); });

    qputenv("PINROVA_TILE_SERVER", baseUrl(tiles).toUtf8());
    qputenv("PINROVA_FACEBOOK_WEB", baseUrl(facebookServer).toUtf8());
    qputenv("PINROVA_FACEBOOK_GRAPH", baseUrl(facebookServer).toUtf8());
    qputenv("PINROVA_REDIRECT_HOST", "localhost");
    qputenv("PINROVA_POSITION_SERVICE", baseUrl(service).toUtf8());
    qputenv("PINROVA_VK_HOST", baseUrl(facebookServer).toUtf8()); // not used, but local

    // Every server is on loopback, so the window goes on also where no network is configured.
    QVERIFY(networkUsable());
    elsewhere = std::make_unique<QWidget>();
    elsewhere->resize(100, 100);
}

void TestEndToEnd::cleanupTestCase()
{
    elsewhere.reset();
    Pinrova::Social::releaseSocialInfos();
}

void TestEndToEnd::activate(QWidget *window)
{
    window->show();
    window->raise();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
}

void TestEndToEnd::setDisplay(const QString &state)
{
    QDBusInterface mce(QStringLiteral("com.nokia.mce"), QStringLiteral("/com/nokia/mce/request"),
        QStringLiteral("com.nokia.mce.request"), bus->connect(QStringLiteral("end-to-end")));
    const QDBusMessage reply = mce.call(QStringLiteral("set_display_status"), state);
    QVERIFY2(reply.type() != QDBusMessage::ErrorMessage, qPrintable(reply.errorMessage()));
}

void TestEndToEnd::signInMapPeopleAndActivation()
{
    MainWindow window;
    activate(&window);
    QTRY_VERIFY(window.isDisplayOn()); // the service said "on"

    // Sign in with Facebook through the real web view.
    QTRY_VERIFY(window.chooser());
    QPointer<LoginWidget> chooser = window.chooser();
    chooseFacebookAndContinue(chooser);
    if (QTest::currentTestFailed())
        return;

    QTRY_VERIFY(window.map()->isVisible());
    QVERIFY(chooser);
    QVERIFY(chooser->isHidden());
    QVERIFY(!window.chooser());
    activate(&window);

    // Register, then reports of the replayed track. The window's activation after the sign-in
    // may register once more, as every activation does.
    QTRY_VERIFY2_WITH_TIMEOUT(service.requestCount(Service + "Register") >= 1,
        qPrintable(QString::number(service.requestCount(Service + "Register"))), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(reports(service) >= 1, 15000);
    const std::vector<HttpRequest> log = service.requests();
    const auto registration = std::find_if(log.begin(), log.end(),
        [](const HttpRequest &r) { return r.path == Service + "Register"; });
    const auto firstReport = std::find_if(
        log.begin(), log.end(), [](const HttpRequest &r) { return r.path == Service + "SetPos"; });
    QVERIFY(registration < firstReport);
    QCOMPARE(QString::fromStdString(registration->queryValue("uid")),
        window.installationId().toString());
    QCOMPARE(registration->queryValue("network"), std::string("facebook"));
    QCOMPARE(QString::fromStdString(registration->queryValue("id")), facebook->options().user.id);
    const double lat = std::stod(firstReport->queryValue("lat"));
    QVERIFY2(qAbs(lat - 59.944) < 0.01, firstReport->target.c_str());

    // The people around the map's centre appear, and a tap shows who they are.
    QTRY_VERIFY(service.requestCount(Service + "GetUsers") >= 1);
    Pinrova::Map::MapWidget *map = window.map();
    auto *first = map->findChild<QToolButton *>(QStringLiteral("0"), Qt::FindDirectChildrenOnly);
    auto *second = map->findChild<QToolButton *>(QStringLiteral("1"), Qt::FindDirectChildrenOnly);
    QTRY_VERIFY(first->isVisible() && second->isVisible());
    QTest::mouseClick(second, Qt::LeftButton);
    QVERIFY(map->details());
    QTRY_VERIFY(map->details()->isVisible());
    QCOMPARE(map->details()->findChild<QLabel *>(QStringLiteral("lblName"))->text(),
        QStringLiteral("Near Two"));
    map->details()->close();

    // Another window in front: the reports stop.
    activate(elsewhere.get());
    QTest::qWait(200);
    int before = reports(service);
    QTest::qWait(4500); // longer than the 3 s between fixes
    QCOMPARE(reports(service), before);

    // Display off, window back in front: still stopped.
    setDisplay(QStringLiteral("off"));
    QTRY_VERIFY(!window.isDisplayOn());
    activate(&window);
    QTest::qWait(4500);
    QCOMPARE(reports(service), before);

    // Display on: the next activation starts them again.
    setDisplay(QStringLiteral("on"));
    QTRY_VERIFY(window.isDisplayOn());
    QTest::qWait(3500);
    QCOMPARE(reports(service), before); // the state alone starts nothing
    activate(elsewhere.get());
    activate(&window);
    QTRY_VERIFY_WITH_TIMEOUT(reports(service) > before, 10000);

    // The disk cache holds tiles and pictures, and nothing of the token, the profile, the
    // installation's uid or the people around.
    const QList<QByteArray> cached = diskCacheEntries();
    QVERIFY(!cached.isEmpty());
    const Pinrova::Sandbox::FacebookStandIn::Options &fb = facebook->options();
    const QList<QByteArray> secrets {fb.accessToken.toUtf8(), fb.user.lastName.toUtf8(),
        window.installationId().toString(QUuid::WithoutBraces).toUtf8(), "Near One", "Near Two"};
    for (const QByteArray &entry : cached) {
        for (const QByteArray &secret : secrets)
            QVERIFY2(!entry.contains(secret), secret + " is cached: " + entry.left(300));
    }
    // Nor does any other file of the app's: the sign-in pages keep nothing on disk.
    const QStringList stored = storedFilesHolding(secrets);
    QVERIFY2(stored.isEmpty(), qPrintable(stored.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
