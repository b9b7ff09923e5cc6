#include "person.h"
#include "positionservicerequests.h"
#include "userlistanswer.h"

#include "api/userlistxml.h"
#include "api/wirerequests.h"

#include "posdprocess.h"
#include "posdtesting.h"

#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QUuid>
#include <QSize>
#include <QtTest>

#include <memory>

using Pinrova::Social::NearByUser;
using Pinrova::Testing::PosdProcess;

namespace {

using QueryPairs = QList<std::pair<QByteArray, QByteArray>>;

// Splits a raw query where the service splits it: at every "&", then at the first "=".
QueryPairs splitQuery(const QByteArray &query)
{
    QueryPairs pairs;
    for (const QByteArray &pair : query.split('&')) {
        const int equals = pair.indexOf('=');
        pairs.append({pair.left(equals), equals < 0 ? QByteArray() : pair.mid(equals + 1)});
    }
    return pairs;
}

QByteArray decoded(const QByteArray &raw)
{
    return QByteArray::fromPercentEncoding(raw);
}

} // namespace

// The app's side of the position service (its request builders and its answer parser) against
// the service's side (its XML writer and the pinrova-posd process), with nothing in between.
class TestAppCompat : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void writerRoundTripsThroughTheAppsParser_data();
    void writerRoundTripsThroughTheAppsParser();

    void appRequestsAreUnderstood_data();
    void appRequestsAreUnderstood();
    void firstRequestGetsAnEmptyList();

private:
    // pinrova-posd on a free port with a new database and its access log on.
    bool startPosd();
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(port); }
    // The raw query of the n-th request the service logged (0 first), waiting for its line.
    QByteArray loggedQuery(int n, const QByteArray &expectedPath);

    QNetworkAccessManager manager;
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<PosdProcess> posd;
    quint16 port = 0;
};

void TestAppCompat::cleanup()
{
    posd.reset();
    folder.reset();
    port = 0;
}

bool TestAppCompat::startPosd()
{
    folder = std::make_unique<QTemporaryDir>();
    if (!folder->isValid())
        return false;
    posd = std::make_unique<PosdProcess>(
        folder->filePath("positions.db"), QStringList {"--access-log"});
    port = posd->waitForPort();
    return port != 0;
}

QByteArray TestAppCompat::loggedQuery(int n, const QByteArray &expectedPath)
{
    // One line per answered request: client, method, target, status, bytes, time.
    QList<QByteArray> targets;
    const auto readTargets = [&] {
        posd->readOutput();
        targets.clear();
        for (const QByteArray &line : posd->output.split('\n')) {
            const QList<QByteArray> fields = line.split(' ');
            if (fields.size() >= 4 && fields[1] == "GET")
                targets.append(fields[2]);
        }
        return targets.size() > n;
    };
    if (!readTargets() && !QTest::qWaitFor(readTargets, 5000))
        return "no log line";
    const QByteArray &target = targets[n];
    const int question = target.indexOf('?');
    if (target.left(question) != expectedPath)
        return "logged " + target;
    return target.mid(question + 1);
}

void TestAppCompat::writerRoundTripsThroughTheAppsParser_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("network");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("smallPicture");
    QTest::addColumn<QString>("mediumPicture");
    QTest::addColumn<int>("sex");
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("lon");
    QTest::addColumn<bool>("online");
    QTest::addColumn<int>("crowds"); // <Crowd> elements after the users

    QTest::newRow("facebook, online") << "Anna Smith" << int(Facebook) << "100004321"
                                      << "https://graph.example/100004321/picture?type=square"
                                      << "https://graph.example/100004321/picture?type=large"
                                      << int(Female) << 59.9441 << 30.3061 << true << 0;
    QTest::newRow("vkontakte, offline") << "Ivan" << int(Vkontakte) << "5592362"
                                        << "http://cs.vk.example/u5592362/e_3f.jpg"
                                        << "http://cs.vk.example/u5592362/a_3f.jpg" << int(Male)
                                        << 55.7558 << 37.6173 << false << 0;
    QTest::newRow("markup characters in every text")
        << "<b>\"Tom\" & 'Jerry'</b> </User>" << int(Facebook) << "id&<1>"
        << "http://p.example/a.jpg?x=1&y=<2>&z='3'"
        << "https://p.example/m?a=&amp;&b=\"q\"" << int(UnknownGender) << -33.8688 << 151.209
        << true << 0;
    QTest::newRow("entity and CDATA look-alikes")
        << "]]> &amp; &#x41; <!-- --> <?pi?>" << int(Vkontakte) << "&lt;"
        << ""
        << "" << int(Male) << 0.0 << -0.0 << false << 0;
    QTest::newRow("Cyrillic") << QString::fromUtf8("Пётр Ёжиков & Ко") << int(Vkontakte) << "1"
                              << QString::fromUtf8("https://vk.example/фото/Ж.jpg?size=50&v=2")
                              << QString::fromUtf8("https://vk.example/фото/Ж.jpg?size=200&v=2")
                              << int(Male) << 55.0 << 37.0 << true << 0;
    QTest::newRow("picture address with a space and an encoded ampersand")
        << "n" << int(Facebook) << "2"
        << "http://pics.example/my photo.jpg?a=%26&b=?"
        << "http://pics.example/m.jpg#top" << int(Female) << 1.0 << 2.0 << true << 0;
    QTest::newRow("poles, antimeridian and exponents")
        << "p" << int(Facebook) << "3"
        << ""
        << "" << int(Female) << -90.0 << 180.0 << true << 0;
    QTest::newRow("exponent forms") << "e" << int(Vkontakte) << "4"
                                    << ""
                                    << "" << int(Male) << 5e-05 << -1e-07 << true << 0;
    QTest::newRow("crowd cells after the users")
        << "Anna" << int(Facebook) << "100004322"
        << ""
        << "" << int(Female) << 59.9441 << 30.3061 << true << 3;
}

void TestAppCompat::writerRoundTripsThroughTheAppsParser()
{
    QFETCH(QString, name);
    QFETCH(int, network);
    QFETCH(QString, id);
    QFETCH(QString, smallPicture);
    QFETCH(QString, mediumPicture);
    QFETCH(int, sex);
    QFETCH(double, lat);
    QFETCH(double, lon);
    QFETCH(bool, online);
    QFETCH(int, crowds);

    Pinrova::Server::RegisterRequest profile;
    profile.network = network;
    profile.id = id.toStdString();
    profile.name = name.toStdString();
    profile.smallPicture = smallPicture.toStdString();
    profile.mediumPicture = mediumPicture.toStdString();
    profile.sex = sex;
    Pinrova::Server::RegisterRequest neighbour;
    neighbour.id = "neighbour";
    neighbour.name = "Neighbour";

    // A neighbour after the person shows that nothing in the person's texts ends its User early.
    std::string body;
    Pinrova::Server::UserListXml xml(body);
    xml.begin();
    xml.addUser(lat, lon, online, Pinrova::Server::UserListXml::profileFragment(profile));
    xml.addUser(10, 20, !online, Pinrova::Server::UserListXml::profileFragment(neighbour));
    for (int i = 0; i < crowds; ++i)
        xml.addCrowd(lat + i, lon, 1234 + i);
    xml.end();

    const auto users = Pinrova::Social::parseUserListAnswer(QByteArray::fromStdString(body));
    QVERIFY2(users, body.c_str());
    QCOMPARE(users->size(), 2);
    const NearByUser &user = users->at(0);
    QCOMPARE(user.person.name, name);
    QCOMPARE(user.person.networkType, NetworkType(network));
    QCOMPARE(user.person.userIds[std::size_t(network)], id);
    QCOMPARE(user.person.smallPicture, QUrl(smallPicture));
    QCOMPARE(user.person.mediumPicture, QUrl(mediumPicture));
    QCOMPARE(user.person.gender, Gender(sex));
    QCOMPARE(user.lat, lat);
    QCOMPARE(user.lon, lon);
    QCOMPARE(user.online, online);

    const NearByUser &next = users->at(1);
    QCOMPARE(next.person.name, QString("Neighbour"));
    QCOMPARE(next.person.userIds[Facebook], QString("neighbour"));
    QCOMPARE(next.online, !online);
}

void TestAppCompat::appRequestsAreUnderstood_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("network");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("smallPicture");
    QTest::addColumn<QString>("mediumPicture");
    QTest::addColumn<int>("gender");
    QTest::addColumn<double>("fixLat"); // as the position source delivers it
    QTest::addColumn<double>("fixLon");
    QTest::addColumn<int>("zoom");
    QTest::addColumn<double>("listedLat"); // what six significant digits keep of it
    QTest::addColumn<double>("listedLon");

    QTest::newRow("facebook, picture addresses with their own query")
        << "Anna & Bob = #1 + co" << int(Facebook) << "100004321"
        << "https://graph.example/100004321/picture?type=square&ssl=1"
        << "https://graph.example/100004321/picture?type=large" << int(Female) << 59.944069
        << 30.306141 << 13 << 59.9441 << 30.3061;
    QTest::newRow("vkontakte, Cyrillic name with & = # +")
        << QString::fromUtf8("Пётр & Ко = #1 + друзья") << int(Vkontakte) << "5592362"
        << QString::fromUtf8("http://cs.vk.example/u5592362/фото.jpg?size=50&v=2#top")
        << "http://cs.vk.example/u5592362/a_3f.jpg" << int(Male) << 55.755826 << 37.6173 << 17
        << 55.7558 << 37.6173;
    QTest::newRow("no pictures, south and west of 100 degrees")
        << "O'Brien <x>" << int(Facebook) << "7"
        << ""
        << "" << int(UnknownGender) << -33.86882 << -151.209296 << 3 << -33.8688 << -151.209;
    QTest::newRow("picture address with a space")
        << "Ivan" << int(Vkontakte) << "1"
        << "http://pics.example/my%20photo.jpg"
        << "http://pics.example/my photo big.jpg" << int(Male) << 48.8566 << 2.35222 << 13
        << 48.8566 << 2.35222;
    QTest::newRow("coordinates in exponent form")
        << "e" << int(Facebook) << "8"
        << "https://p.example/s.jpg?a=%26&b=?c"
        << "" << int(Female) << 5e-05 << -5e-05 << 13 << 5e-05 << -5e-05;
}

void TestAppCompat::appRequestsAreUnderstood()
{
    QFETCH(QString, name);
    QFETCH(int, network);
    QFETCH(QString, id);
    QFETCH(QString, smallPicture);
    QFETCH(QString, mediumPicture);
    QFETCH(int, gender);
    QFETCH(double, fixLat);
    QFETCH(double, fixLon);
    QFETCH(int, zoom);
    QFETCH(double, listedLat);
    QFETCH(double, listedLon);
    QVERIFY2(startPosd(), posd ? posd->output.constData() : "");

    Person person;
    person.name = name;
    person.networkType = NetworkType(network);
    person.userIds[std::size_t(network)] = id;
    person.smallPicture = QUrl(smallPicture);
    person.mediumPicture = QUrl(mediumPicture);
    person.gender = Gender(gender);
    const QUuid uid = QUuid::createUuid();

    using namespace Pinrova::Social;
    using Pinrova::Testing::httpGet;
    const auto registered = httpGet(manager, registerUrl(base(), uid, person));
    QVERIFY2(registered.status == 200, registered.body.constData());
    const auto reported = httpGet(manager, setPosUrl(base(), uid, fixLat, fixLon));
    QVERIFY2(reported.status == 200, reported.body.constData());
    // As the desktop app asks, with its map's size.
    const auto answer
        = httpGet(manager, getUsersUrl(base(), fixLat, fixLon, zoom, QSize(1258, 731)));
    QCOMPARE(answer.status, 200);

    const auto users = parseUserListAnswer(answer.body);
    QVERIFY2(users, answer.body.constData());
    QCOMPARE(users->size(), 1);
    const NearByUser &user = users->at(0);
    QCOMPARE(user.person.name, name);
    QCOMPARE(user.person.networkType, NetworkType(network));
    QCOMPARE(user.person.userIds, person.userIds);
    QCOMPARE(user.person.smallPicture, person.smallPicture);
    QCOMPARE(user.person.mediumPicture, person.mediumPicture);
    QCOMPARE(user.person.gender, Gender(gender));
    QCOMPARE(user.lat, listedLat);
    QCOMPARE(user.lon, listedLon);
    QVERIFY(user.online);

    // Each value reached the service whole: the raw queries split into exactly the app's keys,
    // and every value decodes to what the app meant.
    const QByteArray prefix = "/PosService/PosService.svc/";
    const QueryPairs registerPairs = splitQuery(loggedQuery(0, prefix + "Register"));
    const QByteArrayList registerKeys {
        "uid", "network", "id", "name", "smallPic", "mediumPic", "sex"};
    QCOMPARE(registerPairs.size(), registerKeys.size());
    const QStringList registerValues {uid.toString(), networkTypeToString(NetworkType(network)), id,
        name, person.smallPicture.toString(), person.mediumPicture.toString(),
        QString::number(gender)};
    for (int i = 0; i < registerKeys.size(); ++i) {
        QCOMPARE(registerPairs[i].first, registerKeys[i]);
        QCOMPARE(QString::fromUtf8(decoded(registerPairs[i].second)), registerValues[i]);
    }
    const QueryPairs setPosPairs = splitQuery(loggedQuery(1, prefix + "SetPos"));
    QCOMPARE(setPosPairs.size(), 3);
    QCOMPARE(setPosPairs[0].first, QByteArray("uid"));
    QCOMPARE(QString::fromUtf8(decoded(setPosPairs[0].second)), uid.toString());
    QCOMPARE(setPosPairs[1].first, QByteArray("lat"));
    QCOMPARE(setPosPairs[2].first, QByteArray("lon"));
    const QueryPairs getUsersPairs = splitQuery(loggedQuery(2, prefix + "GetUsers"));
    QCOMPARE(getUsersPairs.size(), 5);
    QCOMPARE(getUsersPairs[2], std::make_pair(QByteArray("zoomlevel"), QByteArray::number(zoom)));
    QCOMPARE(getUsersPairs[3], std::make_pair(QByteArray("width"), QByteArray("1258")));
    QCOMPARE(getUsersPairs[4], std::make_pair(QByteArray("height"), QByteArray("731")));
}

void TestAppCompat::firstRequestGetsAnEmptyList()
{
    QVERIFY2(startPosd(), posd ? posd->output.constData() : "");

    // Before the map has moved the list asks for the point (0, 0) at zoom 0.
    const auto answer
        = Pinrova::Testing::httpGet(manager, Pinrova::Social::getUsersUrl(base(), 0, 0, 0));
    QCOMPARE(answer.status, 200);
    const auto users = Pinrova::Social::parseUserListAnswer(answer.body);
    QVERIFY2(users, answer.body.constData());
    QVERIFY(users->isEmpty());
    QCOMPARE(loggedQuery(0, "/PosService/PosService.svc/GetUsers"),
        QByteArray("lat=0&lon=0&zoomlevel=0"));
}

QTEST_GUILESS_MAIN(TestAppCompat)
#include "tst_appcompat.moc"
