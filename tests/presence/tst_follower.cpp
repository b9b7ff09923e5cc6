#include <QGeoPositionInfoSource>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QSignalSpy>
#include <QWebEngineView>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <mutex>

#include "follower.h"
#include "isocialinfo.h"
#include "mapwidget.h"
#include "requestreplystack.h"
#include "slippymap.h"
#include "testsupport.h"

using namespace Pinrova::Map;
using namespace Pinrova::Social;
using namespace Pinrova::Testing;
using namespace std::chrono_literals;

namespace {

const std::string RegisterPath = "/PosService/PosService.svc/Register";
const std::string SetPosPath = "/PosService/PosService.svc/SetPos";
const std::string HidePath = "/PosService/PosService.svc/Hide";
const std::string ForgetPath = "/PosService/PosService.svc/Forget";
// What a Register answers: a session key of 32 bytes, base64url.
const std::string Key = "q7Vd0-3mW_kP2xYc9LzR4nTa8sBf6hGj1uEo5iXlKwQ";
const QUuid Uid(QStringLiteral("{6a1f3c2e-9b4d-4e8f-a2c1-0d5e7f9b3a64}"));

// The platform's position source does not exist here; this one hands out fixes on demand.
class TestSource : public QGeoPositionInfoSource
{
public:
    TestSource()
        : QGeoPositionInfoSource(nullptr)
    { }

    QGeoPositionInfo last;
    int starts = 0;
    int stops = 0;

    QGeoPositionInfo lastKnownPosition(bool) const override { return last; }
    PositioningMethods supportedPositioningMethods() const override
    {
        return AllPositioningMethods;
    }
    int minimumUpdateInterval() const override { return 0; }
    Error error() const override { return NoError; }
    void startUpdates() override { ++starts; }
    void stopUpdates() override { ++stops; }
    void requestUpdate(int) override { }

    void fix(double lat, double lon)
    {
        emit positionUpdated(QGeoPositionInfo(QGeoCoordinate(lat, lon), QDateTime()));
    }
    void timeOut() { emit updateTimeout(); }
};

QGeoPositionInfo at(double lat, double lon)
{
    return QGeoPositionInfo(QGeoCoordinate(lat, lon), QDateTime::currentDateTime());
}

// What the Graph API answers for "/me"; read on the server's thread.
struct Profile
{
    std::mutex mutex;
    std::string json;
    std::chrono::milliseconds delay {0};
};

QStringList queryKeys(const HttpRequest &request)
{
    QStringList keys;
    for (const QString &pair : QString::fromStdString(request.query).split(QLatin1Char('&')))
        keys << pair.section(QLatin1Char('='), 0, 0);
    return keys;
}

} // namespace

class TestFollower : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void followMode();
    void restartAfterTimeout();
    void withoutSourceWarnsOnce();
    void nothingSentWhileNobodyIsSignedIn();
    void registerThenReportEveryFix();
    void valuesArriveWhole_data();
    void valuesArriveWhole();
    void emptyIdentityIsNotRegistered();
    void lateProfileStillRegisters();
    void registersAgainWhenTheServiceForgets_data();
    void registersAgainWhenTheServiceForgets();
    void approximateReports_data();
    void approximateReports();
    void hideShowAndForget();
    void expiredTokenToldOnce();

private:
    void signIn();
    void setProfile(const QString &id, const QString &name, std::chrono::milliseconds delay = {});
    std::vector<HttpRequest> requestsTo(const std::string &path) const;

    HttpServer server;
    Profile profile;
    MapWidget *map = nullptr;
    TestSource source;
};

void TestFollower::initTestCase()
{
    useCleanTestPaths();
    server.route(RegisterPath, [](const HttpRequest &) { return HttpResponse::ok(Key); });
    server.route(SetPosPath, [](const HttpRequest &) { return HttpResponse::ok("OK"); });
    server.route(HidePath, [](const HttpRequest &) { return HttpResponse::error(204); });
    server.route(ForgetPath, [](const HttpRequest &) { return HttpResponse::error(204); });
    server.route("/me", [this](const HttpRequest &) {
        std::lock_guard<std::mutex> guard(profile.mutex);
        return HttpResponse::ok(profile.json, "application/json").withDelay(profile.delay);
    });
    // Where the sign-in dialog sends the browser back, the token in the fragment.
    server.route("/", [](const HttpRequest &) {
        return HttpResponse::ok("<html><body>Signed in</body></html>", "text/html");
    });
    QVERIFY(server.start());
    const QByteArray base = baseUrl(server).toUtf8();
    qputenv("PINROVA_POSITION_SERVICE", base);
    qputenv("PINROVA_FACEBOOK_GRAPH", base);
    qputenv("PINROVA_TILE_SERVER", base);
    qputenv("PINROVA_REDIRECT_HOST", "127.0.0.1");
    map = new MapWidget;
    map->resize(800, 480);
}

void TestFollower::init()
{
    server.clearLog();
    source.last = QGeoPositionInfo();
    source.starts = source.stops = 0;
    setProfile(QStringLiteral("100000000000001"), QStringLiteral("Anna Smirnova"));
}

void TestFollower::cleanupTestCase()
{
    delete map;
    releaseSocialInfos();
}

void TestFollower::signIn()
{
    const QSharedPointer<ISocialInfo> facebook = socialInfoForNetwork(Facebook);
    if (facebook->isLoggedIn())
        return;
    QWebEngineView view;
    facebook->setWebView(&view);
    view.setUrl(QUrl(baseUrl(server) + QStringLiteral("/#access_token=sandbox-token")));
    QTRY_VERIFY(facebook->isLoggedIn());
    facebook->detachWebView();
}

void TestFollower::setProfile(
    const QString &id, const QString &name, std::chrono::milliseconds delay)
{
    QJsonObject object {{QStringLiteral("name"), name}, {QStringLiteral("gender"), "female"}};
    if (!id.isEmpty())
        object.insert(QStringLiteral("id"), id);
    std::lock_guard<std::mutex> guard(profile.mutex);
    profile.json = toStd(QJsonDocument(object).toJson());
    profile.delay = delay;
}

std::vector<HttpRequest> TestFollower::requestsTo(const std::string &path) const
{
    std::vector<HttpRequest> found;
    for (const HttpRequest &request : server.requests()) {
        if (request.path == path)
            found.push_back(request);
    }
    return found;
}

void TestFollower::followMode()
{
    Follower follower(map, &source);
    QSignalSpy changed(&follower, &Follower::followingChanged);
    QSignalSpy positions(&follower, &Follower::newPosition);

    follower.stopFollowing();
    QCOMPARE(changed.count(), 0);

    // No fix yet: the map goes to the own position it holds.
    map->setMyPosition(50, 10);
    map->setCenter(0, 0);
    follower.startFollowing();
    QVERIFY(follower.isFollowing());
    QCOMPARE(changed.count(), 1);
    QCOMPARE(source.starts, 1);
    QCOMPARE(source.updateInterval(), 3000);
    QCOMPARE(source.preferredPositioningMethods(), QGeoPositionInfoSource::AllPositioningMethods);
    QCOMPARE(map->engine()->latitude(), 50.0);

    // Again: announced again, updates restarted, centred on the last known fix.
    source.last = at(59.944069, 30.306141);
    follower.startFollowing();
    QCOMPARE(changed.count(), 2);
    QCOMPARE(source.starts, 2);
    QCOMPARE(map->engine()->latitude(), 59.944069);
    QCOMPARE(map->myLongitude(), 30.306141);
    QCOMPARE(positions.count(), 1);

    source.fix(60, 31);
    QVERIFY(follower.isFollowing()); // re-centring is not a move by the user
    QCOMPARE(map->engine()->latitude(), 60.0);
    QCOMPARE(map->myLatitude(), 60.0);

    // A pan by the user ends follow mode; fixes then only move the own position.
    map->setFocus();
    QTest::keyClick(map, Qt::Key_Left);
    QVERIFY(!follower.isFollowing());
    QCOMPARE(changed.count(), 3);
    const qreal panned = map->engine()->longitude();
    source.fix(61, 32);
    QCOMPARE(map->engine()->longitude(), panned);
    QCOMPARE(map->myLatitude(), 61.0);

    source.emit positionUpdated(QGeoPositionInfo());
    QCOMPARE(map->myLatitude(), 61.0);
    QCOMPARE(positions.count(), 3);
}

void TestFollower::restartAfterTimeout()
{
    Follower follower(map, &source);
    source.timeOut();
    QCoreApplication::processEvents();
    QCOMPARE(source.starts, 0);
    QTRY_COMPARE(source.starts, 1);
    QCOMPARE(source.updateInterval(), 3000);
}

void TestFollower::withoutSourceWarnsOnce()
{
    QWidget window;
    auto *follower = new Follower(map, nullptr, &window);
    map->setCenter(1, 2);
    follower->startFollowing();
    QVERIFY(follower->isFollowing());
    QCOMPARE(map->engine()->latitude(), 1.0);

    const QList<QMessageBox *> boxes = window.findChildren<QMessageBox *>();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0]->icon(), QMessageBox::Warning);
    QCOMPARE(boxes[0]->text(),
        QStringLiteral(
            "Unable to retrieve your coordinates. Can not display your current position."));
    boxes[0]->accept();
    QTRY_VERIFY(window.findChildren<QMessageBox *>().isEmpty());

    // Activation changes ask again and again; the box stays down.
    follower->startPositionUpdates();
    Follower another(map, nullptr, &window);
    another.startPositionUpdates();
    QCoreApplication::processEvents();
    QVERIFY(window.findChildren<QMessageBox *>().isEmpty());
}

void TestFollower::nothingSentWhileNobodyIsSignedIn()
{
    Follower follower(map, &source);
    source.last = at(1, 2);
    follower.startServerCommunication(Uid);
    source.fix(1, 2);
    QTest::qWait(200);
    QCOMPARE(server.requestCount(), std::size_t(0));
    QVERIFY(!follower.isCommunicating());
}

void TestFollower::registerThenReportEveryFix()
{
    signIn();
    Follower follower(map, &source);
    source.last = at(59.944069, 30.306141);
    // Starting twice while the profile is on its way still registers the profile once.
    follower.startServerCommunication(Uid);
    follower.startServerCommunication(Uid);
    QTRY_COMPARE(requestsTo(SetPosPath).size(), std::size_t(1));
    QTest::qWait(200);

    const std::vector<HttpRequest> registrations = requestsTo(RegisterPath);
    QCOMPARE(registrations.size(), std::size_t(1));
    const HttpRequest &registration = registrations[0];
    QCOMPARE(queryKeys(registration),
        QStringList({"uid", "network", "id", "name", "smallPic", "mediumPic", "sex"}));
    QCOMPARE(registration.queryValue("uid"), toStd(Uid.toString().toUtf8()));
    QCOMPARE(registration.queryValue("network"), std::string("facebook"));
    QCOMPARE(registration.queryValue("id"), std::string("100000000000001"));
    QCOMPARE(registration.queryValue("sex"), std::string("2"));
    QCOMPARE(registration.header("User-Agent"), std::string("Pinrova. Qt mobile application."));
    QCOMPARE(registration.header("Authorization"), std::string("Facebook sandbox-token"));

    const std::string uid = "uid=%7B6a1f3c2e-9b4d-4e8f-a2c1-0d5e7f9b3a64%7D";
    const HttpRequest report = requestsTo(SetPosPath)[0];
    QCOMPARE(report.query, uid + "&lat=59.9441&lon=30.3061");
    QVERIFY(report.header("User-Agent") != "Pinrova. Qt mobile application.");
    QCOMPARE(report.header("Authorization"), "Bearer " + Key);

    source.fix(5e-5, 100.123456);
    source.emit positionUpdated(QGeoPositionInfo());
    QTRY_COMPARE(requestsTo(SetPosPath).size(), std::size_t(2));
    QCOMPARE(requestsTo(SetPosPath)[1].query, uid + "&lat=5e-05&lon=100.123");

    follower.stopServerCommunication();
    source.fix(1, 1);
    QTest::qWait(200);
    QCOMPARE(requestsTo(SetPosPath).size(), std::size_t(2));

    // A null identifier goes out as it is.
    server.clearLog();
    follower.startServerCommunication(QUuid());
    QTRY_COMPARE(requestsTo(SetPosPath).size(), std::size_t(1));
    QCOMPARE(requestsTo(RegisterPath)[0].queryValue("uid"),
        std::string("{00000000-0000-0000-0000-000000000000}"));
}

void TestFollower::valuesArriveWhole_data()
{
    QTest::addColumn<QString>("name");

    QTest::newRow("ampersand") << "Tom & Jerry";
    QTest::newRow("equals and hash") << "a=b #1";
    QTest::newRow("plus and percent") << "C++ 100%25";
    QTest::newRow("query of its own") << "?sex=1&id=2";
    QTest::newRow("Cyrillic") << "Пётр Иванов";
}

void TestFollower::valuesArriveWhole()
{
    QFETCH(QString, name);

    signIn();
    setProfile(QStringLiteral("100000000000002"), name);
    Follower follower(map, &source);
    follower.startServerCommunication(Uid);
    QTRY_COMPARE(requestsTo(RegisterPath).size(), std::size_t(1));

    const HttpRequest registration = requestsTo(RegisterPath)[0];
    QCOMPARE(queryKeys(registration).size(), 7);
    QCOMPARE(QString::fromStdString(registration.queryValue("name")), name);
    QCOMPARE(QString::fromStdString(registration.queryValue("id")), "100000000000002");
    // Facebook's picture addresses carry a query of their own.
    const QString graph = baseUrl(server) + QStringLiteral("/100000000000002/picture?type=");
    QCOMPARE(QString::fromStdString(registration.queryValue("smallPic")), graph + "square");
    QCOMPARE(QString::fromStdString(registration.queryValue("mediumPic")), graph + "normal");
    QCOMPARE(registration.queryValue("sex"), std::string("2"));
}

void TestFollower::emptyIdentityIsNotRegistered()
{
    signIn();
    setProfile(QString(), QStringLiteral("Nobody"));
    Follower follower(map, &source);
    source.last = at(1, 2);
    follower.startServerCommunication(Uid);
    QTRY_COMPARE(server.requestCount(), std::size_t(1)); // the profile
    QTest::qWait(200);
    QVERIFY(requestsTo(RegisterPath).empty());
    QVERIFY(!follower.isCommunicating());
    source.fix(1, 2);

    // The next start asks again.
    setProfile(QStringLiteral("100000000000003"), QStringLiteral("Somebody"));
    follower.startServerCommunication(Uid);
    QTRY_COMPARE(requestsTo(SetPosPath).size(), std::size_t(1));
    QCOMPARE(requestsTo(RegisterPath).size(), std::size_t(1));
}

void TestFollower::lateProfileStillRegisters()
{
    signIn();
    setProfile(QStringLiteral("100000000000004"), QStringLiteral("Late"), 300ms);
    Follower follower(map, &source);
    follower.startServerCommunication(Uid);
    follower.stopServerCommunication();
    QTRY_COMPARE(requestsTo(RegisterPath).size(), std::size_t(1));
    QVERIFY(follower.isCommunicating());
}

void TestFollower::registersAgainWhenTheServiceForgets_data()
{
    QTest::addColumn<QList<int>>("registerAnswers"); // in turn; the last one repeats
    QTest::addColumn<QList<int>>("reportAnswers"); // likewise
    QTest::addColumn<int>("registers");
    QTest::addColumn<int>("reports");
    QTest::addColumn<bool>("told"); // the user hears of a refusal

    // Each row: the start, then two fixes, each taken once every answer is in.
    QTest::newRow("answered") << QList<int> {200} << QList<int> {200} << 1 << 3 << false;
    QTest::newRow("register failed, the next fix registers")
        << QList<int> {500, 200} << QList<int> {200} << 2 << 2 << false;
    QTest::newRow("service unavailable twice")
        << QList<int> {503, 503, 200} << QList<int> {200} << 3 << 1 << false;
    QTest::newRow("service lost the registration")
        << QList<int> {200} << QList<int> {404, 200} << 2 << 3 << false;
    QTest::newRow("profile refused") << QList<int> {400} << QList<int> {200} << 1 << 0 << true;
    QTest::newRow("credential refused") << QList<int> {403} << QList<int> {200} << 1 << 0 << true;
    // -1: a megabyte of answer, cut off unread; the Register counts as failed.
    QTest::newRow("register answer too long")
        << QList<int> {-1, 200} << QList<int> {200} << 2 << 2 << false;
    // The key is refused: one new Register at once, and the reports go on with its key.
    QTest::newRow("key refused") << QList<int> {200} << QList<int> {401, 200} << 2 << 4 << false;
    // Every key is refused: after one new Register the follower waits for the next start.
    QTest::newRow("every key refused") << QList<int> {200} << QList<int> {401} << 2 << 2 << false;
    // Told to wait a second (429 with Retry-After: 1): the fixes meanwhile send nothing, then
    // the Register is sent again by itself.
    QTest::newRow("too many registrations")
        << QList<int> {429, 200} << QList<int> {200} << 2 << 1 << false;
}

void TestFollower::registersAgainWhenTheServiceForgets()
{
    QFETCH(QList<int>, registerAnswers);
    QFETCH(QList<int>, reportAnswers);
    QFETCH(int, registers);
    QFETCH(int, reports);
    QFETCH(bool, told);

    std::atomic<int> registerCount {0};
    std::atomic<int> reportCount {0};
    server.route(RegisterPath, [&](const HttpRequest &) {
        const int n = registerCount++;
        const int status = registerAnswers.value(n, registerAnswers.last());
        if (status < 0)
            return HttpResponse::ok(std::string(1024 * 1024, 'x'));
        if (status == 429)
            return HttpResponse::error(status, "slow down").withHeader("Retry-After", "1");
        // A new key for every Register, so a refusal of an old one can be told apart.
        return status == 200 ? HttpResponse::ok("key" + std::to_string(n))
                             : HttpResponse::error(status, "no");
    });
    server.route(SetPosPath, [&](const HttpRequest &) {
        const int n = reportCount++;
        const int status = reportAnswers.value(n, reportAnswers.last());
        return status == 200 ? HttpResponse::ok("OK") : HttpResponse::error(status, "no");
    });

    signIn();
    Follower follower(map, &source);
    const auto *stack = follower.findChild<Pinrova::Network::RequestReplyStack *>();
    QVERIFY(stack);
    source.last = at(10, 20);
    follower.startServerCommunication(Uid);
    QTRY_VERIFY(registerCount.load() >= 1);
    for (int fix = 0; fix < 2; ++fix) {
        QTRY_COMPARE(stack->pendingCount(), 0);
        source.fix(10, 20 + fix);
    }
    QTRY_COMPARE(stack->pendingCount(), 0);
    QTRY_COMPARE(registerCount.load(), registers);
    QTRY_COMPARE(reportCount.load(), reports);
    QTest::qWait(200); // nothing more follows
    QCOMPARE(registerCount.load(), registers);
    QCOMPARE(reportCount.load(), reports);

    // Told once, also when a later activation registers and is refused again.
    const auto boxes = [] {
        QList<QMessageBox *> found;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
                found << box;
        }
        return found;
    };
    QTRY_COMPARE(boxes().size(), int(told));
    follower.startServerCommunication(Uid);
    QTRY_COMPARE(registerCount.load(), registers + 1);
    QTest::qWait(100);
    QCOMPARE(boxes().size(), int(told));
    if (told) {
        QCOMPARE(boxes().first()->text(),
            QStringLiteral("The position service did not accept your profile, so other people "
                           "cannot see you on the map."));
        boxes().first()->accept();
    }

    server.route(RegisterPath, [](const HttpRequest &) { return HttpResponse::ok(Key); });
    server.route(SetPosPath, [](const HttpRequest &) { return HttpResponse::ok("OK"); });
}

void TestFollower::approximateReports_data()
{
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("lon");
    QTest::addColumn<QString>("sent"); // the SetPos query after the uid

    // 0.01 degree of latitude; of longitude 0.01 / cos(latitude), about the same distance.
    QTest::newRow("Saint Petersburg") << 59.944069 << 30.306141 << "lat=59.94&lon=30.305";
    QTest::newRow("Cape Town") << -33.92487 << 18.42406 << "lat=-33.92&lon=18.4257";
    QTest::newRow("equator, west of Greenwich") << 0.004 << -0.006 << "lat=0&lon=-0.01";
    QTest::newRow("by the antimeridian") << 0.001 << 179.996 << "lat=0&lon=180";
    // At the pole every longitude is the same place.
    QTest::newRow("the North Pole") << 89.999 << 10.0 << "lat=90&lon=0";
}

void TestFollower::approximateReports()
{
    QFETCH(double, lat);
    QFETCH(double, lon);
    QFETCH(QString, sent);

    signIn();
    Follower follower(map, &source);
    follower.setApproximate(true);
    follower.startServerCommunication(Uid);
    QTRY_COMPARE(requestsTo(RegisterPath).size(), std::size_t(1));
    const auto *stack = follower.findChild<Pinrova::Network::RequestReplyStack *>();
    QTRY_COMPARE(stack->pendingCount(), 0);
    source.fix(lat, lon);
    QTRY_COMPARE(requestsTo(SetPosPath).size(), std::size_t(1));
    const QString query = QString::fromStdString(requestsTo(SetPosPath)[0].query);
    QCOMPARE(query.section(QLatin1Char('&'), 1), sent);
    // The own dot stays where the user is.
    QCOMPARE(map->myLatitude(), lat);
    QCOMPARE(map->myLongitude(), lon);
}

void TestFollower::hideShowAndForget()
{
    signIn();
    Follower follower(map, &source);
    QSignalSpy keys(&follower, &Follower::sessionKeyChanged);
    QSignalSpy forgotten(&follower, &Follower::forgetFinished);
    const auto *stack = follower.findChild<Pinrova::Network::RequestReplyStack *>();
    source.last = at(10, 20);

    // Hidden before the start: the Register's key hides at once, and no position goes out.
    follower.setShown(false);
    follower.startServerCommunication(Uid);
    QTRY_COMPARE(requestsTo(HidePath).size(), std::size_t(1));
    QTRY_COMPARE(stack->pendingCount(), 0);
    source.fix(10, 21);
    QTest::qWait(100);
    QVERIFY(requestsTo(SetPosPath).empty());
    const HttpRequest hide = requestsTo(HidePath)[0];
    QCOMPARE(hide.method, std::string("POST"));
    QCOMPARE(hide.header("Authorization"), "Bearer " + Key);
    QCOMPARE(hide.queryValue("uid"), toStd(Uid.toString().toUtf8()));
    QCOMPARE(keys.count(), 1);
    QCOMPARE(keys[0][0].toByteArray().toStdString(), Key);

    // Shown again: a new Register, then the reports.
    follower.setShown(true);
    QTRY_COMPARE(requestsTo(RegisterPath).size(), std::size_t(2));
    QTRY_COMPARE(requestsTo(SetPosPath).size(), std::size_t(1));

    // Forgotten: nothing more, not even at an activation while the Forget is on its way (the
    // confirmation box closing) or at the next one.
    server.route(
        ForgetPath, [](const HttpRequest &) { return HttpResponse::error(204).withDelay(300ms); });
    follower.forgetMe();
    follower.startServerCommunication(Uid);
    QTRY_COMPARE(forgotten.count(), 1);
    QCOMPARE(forgotten[0][0].toBool(), true);
    const HttpRequest forget = requestsTo(ForgetPath).at(0);
    QCOMPARE(forget.method, std::string("POST"));
    QCOMPARE(forget.header("Authorization"), "Bearer " + Key);
    QVERIFY(keys.last()[0].toByteArray().isEmpty());
    follower.startServerCommunication(Uid);
    source.fix(10, 22);
    QTest::qWait(200);
    QCOMPARE(requestsTo(RegisterPath).size(), std::size_t(2));
    QCOMPARE(requestsTo(SetPosPath).size(), std::size_t(1));

    server.route(ForgetPath, [](const HttpRequest &) { return HttpResponse::error(204); });
    // A refused Forget is reported as such.
    server.route(ForgetPath, [](const HttpRequest &) { return HttpResponse::error(503); });
    follower.setShown(false);
    follower.setShown(true);
    QTRY_COMPARE(requestsTo(RegisterPath).size(), std::size_t(3));
    follower.forgetMe();
    QTRY_COMPARE(forgotten.count(), 2);
    QCOMPARE(forgotten[1][0].toBool(), false);
    server.route(ForgetPath, [](const HttpRequest &) { return HttpResponse::error(204); });
}

// Last: it leaves the shared Facebook connector with an expired token.
void TestFollower::expiredTokenToldOnce()
{
    const QSharedPointer<ISocialInfo> facebook = socialInfoForNetwork(Facebook);
    {
        QWebEngineView view;
        facebook->setWebView(&view);
        view.setUrl(
            QUrl(baseUrl(server) + QStringLiteral("/#access_token=short-lived&expires_in=1")));
        QTRY_VERIFY(facebook->serviceCredential() == "Facebook short-lived");
        facebook->detachWebView();
    }
    QTRY_VERIFY_WITH_TIMEOUT(facebook->credentialExpired(), 5000);

    QWidget window;
    Follower follower(map, &source, &window);
    follower.startServerCommunication(Uid);
    follower.startServerCommunication(Uid);
    QTest::qWait(200);
    QVERIFY(requestsTo(RegisterPath).empty());
    const QList<QMessageBox *> boxes = window.findChildren<QMessageBox *>();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0]->text(),
        QStringLiteral("Your sign-in has expired. Sign in again to stay visible to other people."));
    QVERIFY(!boxes[0]->isModal());
}

QTEST_MAIN(TestFollower)
#include "tst_follower.moc"
