#include <QDBusInterface>
#include <QListWidget>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolButton>
#include <QUrlQuery>
#include <QWebEngineView>
#include <QtTest>

#include <memory>

#include "facebookstandin.h"
#include "follower.h"
#include "isocialinfo.h"
#include "loginwidget.h"
#include "mainwindow.h"
#include "mapwidget.h"
#include "nearbyuserlist.h"
#include "networkcheck.h"
#include "person.h"
#include "posdprocess.h"
#include "posdtesting.h"
#include "positionservicerequests.h"
#include "privatebus.h"
#include "wholeapp.h"
#include "testsupport.h"
#include "webloginform.h"

using namespace Pinrova::Testing;
using Pinrova::Social::NearByUser;
using Pinrova::Social::NearByUserList;

namespace {

const QString Service = QStringLiteral("/PosService/PosService.svc/");

// Where the other people stand: around the map's default centre, which the replayed track
// circles. SetPos carries six significant digits, so every position here has four decimals.
constexpr double CentreLat = 59.9441;
constexpr double CentreLon = 30.3061;

// One SetPos as the service logged it.
struct LoggedReport
{
    QString uid;
    double lat = 0;
    double lon = 0;
    int status = 0;
};

// The SetPos lines of a service's access log ("client method target status bytes time").
QList<LoggedReport> loggedReports(PosdProcess &posd)
{
    posd.readOutput();
    QList<LoggedReport> reports;
    for (const QByteArray &line : posd.output.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 4 || !fields[2].startsWith((Service + "SetPos?").toLatin1()))
            continue;
        const QUrlQuery query(QString::fromLatin1(fields[2].mid(fields[2].indexOf('?') + 1)));
        LoggedReport report;
        report.uid = query.queryItemValue(QStringLiteral("uid"), QUrl::FullyDecoded);
        report.lat = query.queryItemValue(QStringLiteral("lat")).toDouble();
        report.lon = query.queryItemValue(QStringLiteral("lon")).toDouble();
        report.status = fields[3].toInt();
        reports << report;
    }
    return reports;
}

// A drag of the map by dx pixels, as the user makes it: press, a move that leaves the tap
// square, a move that pans, release. Releasing asks the list for the people there.
void nudgeMap(QWidget *map, int dx)
{
    const QPoint from = map->rect().center();
    const QPoint to = from + QPoint(dx, 0);
    QTest::mousePress(map, Qt::LeftButton, Qt::NoModifier, from);
    for (int i = 0; i < 2; ++i) {
        QMouseEvent move(QEvent::MouseMove, to, map->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
            Qt::NoModifier);
        QApplication::sendEvent(map, &move);
    }
    QTest::mouseRelease(map, Qt::LeftButton, Qt::NoModifier, to);
}

QStringList idsOf(const QVector<NearByUser> &people)
{
    QStringList ids;
    for (const NearByUser &user : people)
        ids << user.person.userIds[static_cast<std::size_t>(user.person.networkType)];
    return ids;
}

} // namespace

// The whole application against a real pinrova-posd that is killed, or stopped, while the app
// runs, and started again on the same port and database: the app keeps what it shows, keeps
// trying, and is back in touch without a restart. Another client registers the people around
// the app and watches it through the service.
class TestPositionServiceOutage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void outage_data();
    void outage();

private:
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(port); }
    bool startService(quint16 onPort, const QString &database = QStringLiteral("positions.db"));
    // Registers one person through the other client and reports them at (lat, lon).
    bool place(const QString &id, const QString &name, double lat, double lon);
    // The list's people; copied under its lock.
    QVector<NearByUser> shownPeople() const;
    int visibleMarkers() const;
    void activate(QWidget *window);
    void signIn();

    std::unique_ptr<PrivateBus> bus;
    HttpServer tiles;
    HttpServer facebookServer;
    std::unique_ptr<Pinrova::Sandbox::FacebookStandIn> facebook;
    QTemporaryDir folder;
    std::unique_ptr<PosdProcess> posd;
    quint16 port = 0;
    // Made once the private bus is the system bus: a network manager connects to that bus.
    std::unique_ptr<QNetworkAccessManager> otherClient;
    QHash<QString, QUuid> uids; // of the people the other client placed, by id
    std::unique_ptr<MainWindow> window;
};

bool TestPositionServiceOutage::startService(quint16 onPort, const QString &database)
{
    // A later --listen wins over the helper's port 0.
    QStringList arguments {QStringLiteral("--access-log")};
    if (onPort != 0)
        arguments << QStringLiteral("--listen") << QStringLiteral("127.0.0.1:%1").arg(onPort);
    posd = std::make_unique<PosdProcess>(folder.filePath(database), arguments);
    const quint16 got = posd->waitForPort();
    if (got == 0 || (onPort != 0 && got != onPort))
        return false;
    port = got;
    return true;
}

bool TestPositionServiceOutage::place(
    const QString &id, const QString &name, double lat, double lon)
{
    using namespace Pinrova::Social;
    if (!uids.contains(id)) {
        Person person;
        person.name = name;
        person.networkType = Facebook;
        person.userIds[Facebook] = id;
        person.smallPicture = QUrl(baseUrl(tiles) + QStringLiteral("/face.png"));
        person.mediumPicture = person.smallPicture;
        const QUuid uid = QUuid::createUuid();
        if (httpGet(*otherClient, registerUrl(base(), uid, person)).status != 200)
            return false;
        uids.insert(id, uid);
    }
    return httpGet(*otherClient, setPosUrl(base(), uids.value(id), lat, lon)).status == 200;
}

QVector<NearByUser> TestPositionServiceOutage::shownPeople() const
{
    NearByUserList *list = window->map()->users();
    list->lockForRead();
    const QVector<NearByUser> people = list->users();
    list->unlock();
    return people;
}

int TestPositionServiceOutage::visibleMarkers() const
{
    int visible = 0;
    const auto buttons
        = window->map()->findChildren<QToolButton *>(QString(), Qt::FindDirectChildrenOnly);
    for (const QToolButton *button : buttons) {
        bool marker = false;
        button->objectName().toInt(&marker);
        if (marker && button->isVisible())
            ++visible;
    }
    return visible;
}

void TestPositionServiceOutage::activate(QWidget *target)
{
    target->show();
    target->raise();
    target->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(target));
}

void TestPositionServiceOutage::initTestCase()
{
    const QString failed = prepareWholeApp(bus);
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    otherClient = std::make_unique<QNetworkAccessManager>();

    const std::string white = toStd(pngBytes(Qt::white));
    const std::string face = toStd(pngBytes(Qt::red, 50));
    tiles.setFallback(
        [white](const HttpRequest &) { return HttpResponse::ok(white, "image/png"); });
    tiles.route(
        "/face.png", [face](const HttpRequest &) { return HttpResponse::ok(face, "image/png"); });
    Pinrova::Sandbox::FacebookStandIn::Options options;
    options.redirectHost = QStringLiteral("localhost");
    facebook = std::make_unique<Pinrova::Sandbox::FacebookStandIn>(facebookServer, options);
    QVERIFY(tiles.start());
    QVERIFY(facebookServer.start());

    QVERIFY(folder.isValid());
    QVERIFY2(startService(0), posd->output.constData());

    qputenv("PINROVA_TILE_SERVER", baseUrl(tiles).toUtf8());
    qputenv("PINROVA_FACEBOOK_WEB", baseUrl(facebookServer).toUtf8());
    qputenv("PINROVA_FACEBOOK_GRAPH", baseUrl(facebookServer).toUtf8());
    qputenv("PINROVA_REDIRECT_HOST", "localhost");
    qputenv("PINROVA_POSITION_SERVICE", base().toUtf8());
    qputenv("PINROVA_VK_HOST", baseUrl(facebookServer).toUtf8()); // not used, but local
    // Every server is on loopback, so the window goes on also where no network is configured.
    QVERIFY(networkUsable());

    // Three people around the centre before the app starts.
    QVERIFY(place(QStringLiteral("200001"), QStringLiteral("Olga"), 59.9446, CentreLon));
    QVERIFY(place(QStringLiteral("200002"), QStringLiteral("Ivan"), CentreLat, 30.3071));
    QVERIFY(place(QStringLiteral("200003"), QStringLiteral("Mila"), 59.9434, CentreLon));

    window = std::make_unique<MainWindow>();
    // One marker per person, as designed, so that the markers count the people: these stand
    // closer than a marker and would otherwise be drawn as one group.
    window->map()->setGroupingEnabled(false);
    signIn();
    if (QTest::currentTestFailed())
        return;

    // Reports reach the service.
    const QString uid = window->installationId().toString();
    const auto reported = [&] {
        const QList<LoggedReport> reports = loggedReports(*posd);
        return std::any_of(reports.cbegin(), reports.cend(),
            [&](const LoggedReport &r) { return r.uid == uid && r.status == 200; });
    };
    QTRY_VERIFY_WITH_TIMEOUT(reported(), 15000);

    // The user nudges the map, so the list asks around where it shows (until then it asks for
    // the point (0, 0)); the three people and the user appear, with their pictures.
    nudgeMap(window->map(), 30);
    const QStringList placed {
        QStringLiteral("200001"), QStringLiteral("200002"), QStringLiteral("200003")};
    QTRY_VERIFY_WITH_TIMEOUT(idsOf(shownPeople()).size() >= 4, 15000);
    for (const QString &id : placed)
        QVERIFY2(idsOf(shownPeople()).contains(id), qPrintable(idsOf(shownPeople()).join(' ')));
    const auto picturesShown = [&] {
        const QVector<NearByUser> people = shownPeople();
        return std::all_of(people.cbegin(), people.cend(), [&](const NearByUser &user) {
            return !placed.contains(user.person.userIds[Facebook]) || !user.picture.isNull();
        });
    };
    QTRY_VERIFY_WITH_TIMEOUT(picturesShown(), 15000);
    QTRY_COMPARE(visibleMarkers(), shownPeople().size());
}

void TestPositionServiceOutage::signIn()
{
    activate(window.get());
    QTRY_VERIFY(window->isDisplayOn());
    QTRY_VERIFY(window->chooser());
    chooseFacebookAndContinue(window->chooser());
    if (QTest::currentTestFailed())
        return;
    QTRY_VERIFY(window->map()->isVisible());
    activate(window.get());
}

void TestPositionServiceOutage::cleanupTestCase()
{
    window.reset();
    Pinrova::Social::releaseSocialInfos();
    otherClient.reset();
    posd.reset();
}

void TestPositionServiceOutage::outage_data()
{
    QTest::addColumn<bool>("kill");
    QTest::addColumn<QString>("newcomer");
    QTest::addColumn<bool>("freshDatabase"); // it comes back having lost every record
    // In this order, one app session through all.
    QTest::newRow("killed with SIGKILL") << true << QStringLiteral("200011") << false;
    QTest::newRow("stopped with SIGTERM") << false << QStringLiteral("200012") << false;
    QTest::newRow("back with an empty database") << true << QStringLiteral("200013") << true;
}

void TestPositionServiceOutage::outage()
{
    QFETCH(bool, kill);
    QFETCH(QString, newcomer);
    QFETCH(bool, freshDatabase);
    QVERIFY(window);
    QVERIFY2(posd->process.state() == QProcess::Running, "an earlier row left the service down");
    Pinrova::Map::MapWidget *map = window->map();
    Pinrova::Map::Follower *follower = window->positionFollower();
    NearByUserList *list = map->users();
    const QVector<NearByUser> before = shownPeople();
    QVERIFY(before.size() >= 4);
    const QString uid = window->installationId().toString();

    // The list's own requests, to see them fail while the service is away.
    auto *manager = list->findChild<QNetworkAccessManager *>();
    QVERIFY(manager);
    int failedRefreshes = 0;
    const QObject watch; // the connection ends with this function, also on a failed check
    connect(manager, &QNetworkAccessManager::finished, &watch,
        [&failedRefreshes](QNetworkReply *reply) {
            if (reply->url().path().endsWith(QLatin1String("GetUsers"))
                && reply->error() != QNetworkReply::NoError)
                ++failedRefreshes;
        });
    QSignalSpy fixes(follower, &Pinrova::Map::Follower::newPosition);

    if (kill)
        posd->process.kill();
    else
        posd->process.terminate();
    QVERIFY(posd->process.waitForFinished(10000));
    if (!kill)
        QCOMPARE(posd->process.exitCode(), 0);

    // Away: the refreshes (every 5 s, and one now as the user moves the map) fail, and the list
    // keeps its people, pictures and markers; the follower keeps taking fixes and stays ready
    // to report them.
    nudgeMap(map, kill ? 30 : -30);
    QTRY_VERIFY_WITH_TIMEOUT(failedRefreshes >= 2, 15000);
    QTRY_VERIFY_WITH_TIMEOUT(fixes.count() >= 1, 10000);
    QVERIFY(follower->isCommunicating());
    const QVector<NearByUser> during = shownPeople();
    QCOMPARE(idsOf(during), idsOf(before));
    for (int i = 0; i < during.size(); ++i) {
        QCOMPARE(during[i].lat, before[i].lat);
        QCOMPARE(during[i].picture.isNull(), before[i].picture.isNull());
    }
    QCOMPARE(visibleMarkers(), before.size());

    // Back on the same port and database, the app untouched. Meanwhile one person moved and
    // one came.
    if (freshDatabase) {
        QVERIFY2(startService(port, QStringLiteral("fresh.db")), posd->output.constData());
        // The other client's people are gone with the records: it registers them anew.
        const QHash<QString, QUuid> placed = uids;
        uids.clear();
        for (auto it = placed.cbegin(); it != placed.cend(); ++it) {
            const auto user = std::find_if(before.cbegin(), before.cend(),
                [&](const NearByUser &u) { return u.person.userIds[Facebook] == it.key(); });
            QVERIFY(user != before.cend());
            QVERIFY(place(it.key(), user->person.name, user->lat, user->lon));
        }
    } else {
        QVERIFY2(startService(port), posd->output.constData());
    }
    const double movedLat = kill ? 59.9452 : 59.9448;
    QVERIFY(place(QStringLiteral("200001"), QStringLiteral("Olga"), movedLat, CentreLon));
    QVERIFY(place(newcomer, QStringLiteral("Newcomer"), 59.9443, 30.3053));

    // The list refreshes by itself, with everyone it showed before (the app's own user among
    // them) and the newcomer.
    const auto showsEveryone = [&] {
        const auto shown = idsOf(shownPeople());
        if (!shown.contains(newcomer))
            return false;
        for (const QString &id : idsOf(before)) {
            if (!shown.contains(id))
                return false;
        }
        return true;
    };
    QTRY_VERIFY_WITH_TIMEOUT(showsEveryone(), 25000);
    const QVector<NearByUser> after = shownPeople();
    const auto olga = std::find_if(after.cbegin(), after.cend(), [](const NearByUser &user) {
        return user.person.userIds[Facebook] == QLatin1String("200001");
    });
    QVERIFY(olga != after.cend());
    QCOMPARE(olga->lat, movedLat);
    QTRY_COMPARE(visibleMarkers(), shownPeople().size());

    // The app's reports arrive again, accepted: the service still knows it from the database,
    // or, when it has lost it, the app registers again once told the uid is unknown.
    const auto appReports = [&] {
        QList<LoggedReport> mine;
        for (const LoggedReport &report : loggedReports(*posd)) {
            if (report.uid == uid)
                mine << report;
        }
        return mine;
    };
    if (freshDatabase) {
        QTRY_VERIFY_WITH_TIMEOUT(
            !appReports().isEmpty() && appReports().last().status == 200, 20000);
        int refused = 0;
        for (const LoggedReport &report : appReports())
            refused += report.status == 404;
        QVERIFY(refused <= 1); // the one that told the app
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(!appReports().isEmpty(), 15000);
        for (const LoggedReport &report : appReports())
            QCOMPARE(report.status, 200);
    }

    // And the other client sees the app's user where it reported after the restart.
    const QString appId = facebook->options().user.id;
    const auto listedAtAReport = [&] {
        const PosdAnswer answer = httpGet(*otherClient,
            Pinrova::Social::getUsersUrl(base(), CentreLat, CentreLon, map->zoomLevel()));
        QVector<ListedUser> users;
        if (answer.status != 200 || !readUserList(answer.body, users))
            return false;
        const QList<LoggedReport> reports = appReports();
        for (const ListedUser &user : users) {
            if (!user.ids.contains({appId, QStringLiteral("facebook")}) || !user.online)
                continue;
            for (const LoggedReport &report : reports) {
                if (qAbs(report.lat - user.lat) < 1e-6 && qAbs(report.lon - user.lon) < 1e-6)
                    return true;
            }
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(listedAtAReport(), 15000);
}

QTEST_MAIN(TestPositionServiceOutage)
#include "tst_positionserviceoutage.moc"
