#include "avatargallery.h"
#include "crowd.h"
#include "crowdroster.h"
#include "httpserver.h"
#include "settledcrowd.h"
#include "userlistanswer.h"

#include "posdtesting.h"
#include "sandboxtesting.h"

#include <QImage>
#include <QSet>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>

using namespace Pinrova::Sandbox;
using namespace Pinrova::Testing;

// The crowd against the real pinrova-posd, read back with GetUsers as the application reads it.
class TestCrowd : public QObject
{
    Q_OBJECT

private slots:
    void theServiceListsTheCrowdOnlineAndOffline();
    void theCrowdWaitsForALateService();
    void aSettledCityJoinsTheWalkers();

private:
    static Crowd::Options quickOptions(const QUrl &service);
};

namespace {

constexpr double CentreLat = 59.944069;
constexpr double CentreLon = 30.306141;
constexpr int CrowdSize = 12;

double metresFromCentre(double lat, double lon)
{
    const double north = (lat - CentreLat) * 111320.0;
    const double east = (lon - CentreLon) * 111320.0 * std::cos(CentreLat * M_PI / 180);
    return std::hypot(north, east);
}

QImage picture(const QString &url)
{
    const Fetched answer = fetch(QUrl(url));
    return answer.status == 200 ? QImage::fromData(answer.body, "PNG") : QImage();
}

} // namespace

// Reports five times a second; four of the twelve go quiet for 2.5 s, which the service (online
// window 1 s) shows as offline for the last 1.5 s of it.
Crowd::Options TestCrowd::quickOptions(const QUrl &service)
{
    Crowd::Options options;
    options.positionService = service;
    options.radiusMetres = 1000;
    options.reportIntervalMs = 200;
    options.silentShare = 0.34;
    options.silenceSeconds = 2.5;
    options.seed = 7;
    return options;
}

void TestCrowd::theServiceListsTheCrowdOnlineAndOffline()
{
    PosdProcess posd({"--online-seconds", "1"});
    QVERIFY(posd.isListening());
    Pinrova::Http::HttpServer pictures;
    QVERIFY(pictures.start());
    QVector<CrowdPerson> people = crowdRoster(CrowdSize, 7);
    AvatarGallery facebookPictures(pictures, people, Facebook);
    Pinrova::Http::HttpServer vkPictures;
    QVERIFY(vkPictures.start());
    AvatarGallery vkontaktePictures(vkPictures, people, Vkontakte);

    Crowd crowd(people, quickOptions(posd.baseUrl()));
    crowd.start();

    // Polled until, in one answer, everyone is there and some are offline.
    QVector<ListedUser> listed;
    const auto everyoneWithSomeOffline = [&] {
        if (!readUserList(posd.getUsers(CentreLat, CentreLon, 13), listed))
            return false;
        const auto offline = std::count_if(
            listed.begin(), listed.end(), [](const ListedUser &u) { return !u.online; });
        return listed.size() == CrowdSize && offline > 0 && offline < CrowdSize;
    };
    QTRY_VERIFY_WITH_TIMEOUT(everyoneWithSomeOffline(), 20000);

    QSet<QString> networks;
    for (const ListedUser &user : listed) {
        QCOMPARE(user.ids.size(), 1);
        const auto person = std::find_if(people.begin(), people.end(),
            [&](const CrowdPerson &p) { return p.id == user.ids[0].first; });
        QVERIFY2(person != people.end(), qPrintable(user.ids[0].first));
        QCOMPARE(user.ids[0].second, networkTypeToString(person->network));
        QCOMPARE(user.name, person->name());
        QCOMPARE(user.smallPicture, person->smallPicture);
        QCOMPARE(user.mediumPicture, person->mediumPicture);
        QVERIFY2(metresFromCentre(user.lat, user.lon) < 1000 + 250,
            qPrintable(QString::number(metresFromCentre(user.lat, user.lon))));
        networks.insert(user.ids[0].second);
    }
    QCOMPARE(networks, (QSet<QString> {"facebook", "vkontakte"}));

    // The pictures the service hands out are the avatars, at both sizes.
    QCOMPARE(picture(listed[0].smallPicture).size(), QSize(50, 50));
    QCOMPARE(picture(listed[0].mediumPicture).size(), QSize(100, 100));

    // People walk: a later answer has someone somewhere else.
    const QVector<ListedUser> before = listed;
    const auto someoneMoved = [&] {
        if (!readUserList(posd.getUsers(CentreLat, CentreLon, 13), listed))
            return false;
        for (const ListedUser &now : listed) {
            for (const ListedUser &then : before) {
                if (now.ids == then.ids && (now.lat != then.lat || now.lon != then.lon))
                    return true;
            }
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(someoneMoved(), 5000);
}

void TestCrowd::theCrowdWaitsForALateService()
{
    const quint16 port = freeLoopbackPort();
    QVERIFY(port != 0);
    QVector<CrowdPerson> people = crowdRoster(4, 11);
    Crowd crowd(people, quickOptions(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port))));
    QSignalSpy answering(&crowd, &Crowd::serviceAnsweringChanged);
    crowd.start();
    QVERIFY(answering.wait());
    QCOMPARE(answering.at(0).at(0).toBool(), false);
    QCOMPARE(crowd.registeredCount(), 0);

    PosdProcess posd({}, port);
    QVERIFY(posd.isListening());
    QTRY_COMPARE_WITH_TIMEOUT(crowd.registeredCount(), 4, 10000);
    QCOMPARE(answering.last().at(0).toBool(), true);
    QVector<ListedUser> listed;
    QTRY_VERIFY_WITH_TIMEOUT(
        readUserList(posd.getUsers(CentreLat, CentreLon, 13), listed) && listed.size() == 4, 5000);
}

// A city settles beside the walkers of the same seed without replacing any of them: the
// service lists and counts everybody, and the city thins out from its centre.
void TestCrowd::aSettledCityJoinsTheWalkers()
{
    PosdProcess posd;
    QVERIFY(posd.isListening());
    Crowd walkers(crowdRoster(CrowdSize, 7), quickOptions(posd.baseUrl()));
    walkers.start();
    QTRY_COMPARE_WITH_TIMEOUT(walkers.registeredCount(), CrowdSize, 10000);

    constexpr int CitySize = 400;
    SettledCrowd::Options options;
    options.positionService = posd.baseUrl();
    options.seed = 7;
    SettledCrowd city(CitySize, options);
    QSignalSpy finished(&city, &SettledCrowd::finished);
    city.start();
    QVERIFY(finished.wait(30000));
    QCOMPARE(finished.at(0).at(0).toInt(), CitySize);
    QCOMPARE(finished.at(0).at(1).toInt(), 0);

    // The whole world at zoom 3 in one view: the listed people and the counted cells together.
    const Fetched answer = fetch(QUrl(posd.baseUrl().toString()
        + QStringLiteral("/PosService/PosService.svc/GetUsers?lat=0&lon=0&zoomlevel=3"
                         "&width=4096&height=4096&crowds=1")));
    QCOMPARE(answer.status, 200);
    QVector<Pinrova::Social::NearByCrowd> cells;
    const auto listed = Pinrova::Social::readUserListAnswer(answer.body, {}, &cells);
    QVERIFY(listed);
    int everybody = listed->size();
    for (const Pinrova::Social::NearByCrowd &cell : cells)
        everybody += cell.count;
    QCOMPARE(everybody, CrowdSize + CitySize);

    // People per square kilometre: within 5 km of the centre, and 15-20 km out.
    int inner = 0;
    int outer = 0;
    for (const GeoPoint &place : city.places()) {
        const double metres = metresFromCentre(place.lat, place.lon);
        inner += metres < 5000;
        outer += metres > 15000 && metres < 20000;
    }
    const double innerDensity = inner / (M_PI * 5 * 5);
    const double outerDensity = outer / (M_PI * (20 * 20 - 15 * 15));
    QVERIFY2(innerDensity > 3 * outerDensity && outer > 0,
        qPrintable(QStringLiteral("%1 and %2 per km²").arg(innerDensity).arg(outerDensity)));
}

QTEST_MAIN(TestCrowd)
#include "tst_crowd.moc"
