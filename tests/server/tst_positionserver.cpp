#include "positionserver.h"
#include "embedded/sqlitedatabase.h"

#include "posdtesting.h"

#include <QNetworkAccessManager>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <memory>

using namespace Pinrova::Server;
using namespace Pinrova::Testing;

namespace {

const qint64 T0 = 1700000000000;

// The service in this process on a free loopback port, with a temporary file and a clock
// the test moves.
struct RunningServer
{
    explicit RunningServer(const QString &folder, ListingPolicy policy = {})
        : now(std::make_shared<std::atomic<std::int64_t>>(T0))
    {
        config.host = "127.0.0.1";
        config.port = 0;
        config.databasePath = (folder + "/positions.db").toStdString();
        config.policy = policy;
        config.limits.threads = 2;
        auto clock = now;
        config.clock = [clock] { return clock->load(); };
        start();
    }

    void start()
    {
        server = std::make_unique<PositionServer>(config);
        server->start();
    }

    void restart()
    {
        server.reset();
        start();
    }

    QUrl url(const QString &request, const QString &query) const
    {
        QUrl url(QStringLiteral("http://127.0.0.1:%1/PosService/PosService.svc/%2")
                     .arg(server->port())
                     .arg(request));
        url.setQuery(query, QUrl::StrictMode);
        return url;
    }

    PositionServerConfig config;
    std::shared_ptr<std::atomic<std::int64_t>> now;
    std::unique_ptr<PositionServer> server;
};

// Encodes a value the way a careful client must, so "&", "=" and "+" stay inside it.
QString enc(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

QString registerQuery(
    int uid, const QString &network, const QString &id, const QString &name, int sex = 1)
{
    return "uid=" + enc(testUid(uid)) + "&network=" + network + "&id=" + enc(id) + "&name="
        + enc(name) + "&smallPic=" + enc("http://pics.example/" + id + "_s.jpg") + "&mediumPic="
        + enc("http://pics.example/" + id + "_m.jpg") + "&sex=" + QString::number(sex);
}

QString number(double value)
{
    return QString::number(value, 'g', 17);
}

QString posQuery(int uid, double lat, double lon)
{
    return "uid=" + enc(testUid(uid)) + "&lat=" + number(lat) + "&lon=" + number(lon);
}

QString usersQuery(double lat, double lon, int zoom)
{
    return "lat=" + number(lat) + "&lon=" + number(lon) + "&zoomlevel=" + QString::number(zoom);
}

// Sends raw bytes and returns everything the server sends back until it closes or goes quiet.
QByteArray rawExchange(quint16 port, const QByteArray &bytes, int quietMs = 1500)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(3000))
        return "no connection";
    socket.write(bytes);
    socket.flush();
    QByteArray received;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(quietMs))
        received += socket.readAll();
    received += socket.readAll();
    return received;
}

} // namespace

class TestPositionServer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void registerReportAndList();
    void listsTheMapViewNearestFirst_data();
    void listsTheMapViewNearestFirst();
    void capsTheAnswer();
    void onlineAndForgottenCutOffs_data();
    void onlineAndForgottenCutOffs();
    void personWithTwoInstallationsIsListedOnce();
    void rejectedRequestsStoreNothing();
    void restartKeepsRegistrationsAndPositions();
    void badHttpGetsAnErrorAnswer_data();
    void badHttpGetsAnErrorAnswer();
    void keepsConnectionsAliveAndClosesIdleOnes();
    void metricsCountTheRequests();
    void readsAFileOfTheEarlierLayout();
    void sweepDeletesTheSilent();
    void fullQueueAnswers503AndFailedWritesAreRetried();

private:
    std::unique_ptr<QTemporaryDir> folder;
    QNetworkAccessManager manager;
};

void TestPositionServer::init()
{
    folder = std::make_unique<QTemporaryDir>();
    QVERIFY(folder->isValid());
}

void TestPositionServer::registerReportAndList()
{
    RunningServer posd(folder->path());
    const QString name = QString::fromUtf8("Иван & <Пётр>=+1");
    const auto reg
        = httpGet(manager, posd.url("Register", registerQuery(1, "vkontakte", "42", name)));
    QCOMPARE(reg.status, 200);
    QCOMPARE(httpGet(manager, posd.url("SetPos", posQuery(1, 59.9441, 30.3061))).status, 200);

    const auto answer = httpGet(manager, posd.url("GetUsers", usersQuery(59.944, 30.306, 13)));
    QCOMPARE(answer.status, 200);
    QCOMPARE(answer.contentType, QByteArray("application/xml; charset=utf-8"));
    QCOMPARE(answer.cacheControl, QByteArray("no-store"));
    QCOMPARE(reg.cacheControl, QByteArray("no-store"));
    QVector<ListedUser> users;
    QVERIFY2(readUserList(answer.body, users), answer.body.constData());
    QCOMPARE(users.size(), 1);
    QCOMPARE(users[0].name, name);
    QCOMPARE(users[0].lat, 59.9441);
    QCOMPARE(users[0].lon, 30.3061);
    QVERIFY(users[0].online);
    QCOMPARE(users[0].sex.toUpper(), QString("MALE"));
    QCOMPARE(users[0].smallPicture, QString("http://pics.example/42_s.jpg"));
    QCOMPARE(users[0].ids, (QList<std::pair<QString, QString>> {{"42", "vkontakte"}}));
}

void TestPositionServer::listsTheMapViewNearestFirst_data()
{
    QTest::addColumn<int>("zoom");
    QTest::addColumn<QString>("view"); // width and height keys after zoomlevel
    QTest::addColumn<QStringList>("expected");

    // People at these pixel offsets from the centre at zoom 13 (the map is 800 × 480 unless
    // the request gives its size): A (0, 0), B (100, 0), C (-300, 200), D (399, 239),
    // E (401, 0), F (0, -241).
    QTest::newRow("zoom 13: the box edge") << 13 << QString() << QStringList {"A", "B", "C", "D"};
    QTest::newRow("zoom 14: twice the distances") << 14 << QString() << QStringList {"A", "B"};
    QTest::newRow("zoom 12: half the distances")
        << 12 << QString() << QStringList {"A", "B", "F", "C", "E", "D"};
    QTest::newRow("zoom 0: the whole world")
        << 0 << QString() << QStringList {"A", "B", "F", "C", "E", "D"};
    QTest::newRow("zoom 13, a 1000 × 484 desktop view")
        << 13 << "&width=1000&height=484" << QStringList {"A", "B", "F", "C", "E", "D"};
    QTest::newRow("zoom 13, width only: height stays 480")
        << 13 << "&width=1000" << QStringList {"A", "B", "C", "E", "D"};
    QTest::newRow("zoom 13, a 150 × 100 view")
        << 13 << "&width=150&height=100" << QStringList {"A"};
}

void TestPositionServer::listsTheMapViewNearestFirst()
{
    QFETCH(int, zoom);
    QFETCH(QString, view);
    QFETCH(QStringList, expected);

    RunningServer posd(folder->path());
    const double lat = 59.94;
    const double lon = 30.31;
    const QList<std::pair<QString, QPointF>> people {{"A", {0, 0}}, {"B", {100, 0}},
        {"C", {-300, 200}}, {"D", {399, 239}}, {"E", {401, 0}}, {"F", {0, -241}}};
    // Registered in reverse order of distance so storage order cannot pass for nearness.
    for (int i = people.size() - 1; i >= 0; --i) {
        const auto &[name, offset] = people[i];
        const auto [la, lo] = offsetByPixels(lat, lon, 13, offset.x(), offset.y());
        QCOMPARE(
            httpGet(manager, posd.url("Register", registerQuery(i + 1, "facebook", name, name)))
                .status,
            200);
        QCOMPARE(httpGet(manager, posd.url("SetPos", posQuery(i + 1, la, lo))).status, 200);
    }
    const auto answer = httpGet(manager, posd.url("GetUsers", usersQuery(lat, lon, zoom) + view));
    QVector<ListedUser> users;
    QVERIFY(readUserList(answer.body, users));
    QStringList names;
    for (const auto &user : users)
        names << user.name;
    QCOMPARE(names, expected);
}

void TestPositionServer::capsTheAnswer()
{
    ListingPolicy policy;
    policy.maxUsers = 3;
    RunningServer posd(folder->path(), policy);
    for (int i = 1; i <= 5; ++i) {
        QCOMPARE(httpGet(manager,
                     posd.url("Register",
                         registerQuery(i, "twitter", QString::number(i), QString::number(i))))
                     .status,
            200);
        QCOMPARE(httpGet(manager, posd.url("SetPos", posQuery(i, 10 + i * 0.001, 20))).status, 200);
    }
    QVector<ListedUser> users;
    QVERIFY(
        readUserList(httpGet(manager, posd.url("GetUsers", usersQuery(10, 20, 10))).body, users));
    QCOMPARE(users.size(), 3);
    QCOMPARE(users[0].name, QString("1"));
    QCOMPARE(users[2].name, QString("3"));

    // Asked for crowds, the two left out are counted in the one 64-pixel cell they share,
    // after the same three users.
    const auto withCrowds
        = httpGet(manager, posd.url("GetUsers", usersQuery(10, 20, 10) + "&crowds=1")).body;
    QVERIFY(readUserList(withCrowds, users));
    QCOMPARE(users.size(), 3);
    QCOMPARE(users[2].name, QString("3"));
    const QRegularExpression crowd(
        "<Crowd><Lat>([-0-9.e]+)</Lat><Lon>([-0-9.e]+)</Lon><Count>([0-9]+)</Count></Crowd>");
    const auto crowds = crowd.globalMatch(QString::fromUtf8(withCrowds));
    QVERIFY2(crowds.hasNext(), withCrowds.constData());
    const auto cell = crowds.peekNext();
    QCOMPARE(cell.captured(3), QString("2"));
    QVERIFY(
        !QRegularExpression("</Crowd>.*<User>").match(QString::fromUtf8(withCrowds)).hasMatch());
    QVERIFY(std::abs(cell.captured(1).toDouble() - 10.003) < 0.03); // the cell's centre
    QVERIFY(std::abs(cell.captured(2).toDouble() - 20) < 0.03);
    auto rest = crowds;
    rest.next();
    QVERIFY2(!rest.hasNext(), withCrowds.constData());
}

void TestPositionServer::onlineAndForgottenCutOffs_data()
{
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<bool>("listed");
    QTest::addColumn<bool>("online");

    QTest::newRow("just reported") << qint64(0) << true << true;
    QTest::newRow("60 s ago") << qint64(60000) << true << true;
    QTest::newRow("60.001 s ago") << qint64(60001) << true << false;
    QTest::newRow("24 h ago") << qint64(24 * 3600 * 1000) << true << false;
    QTest::newRow("24 h and 1 ms ago") << qint64(24 * 3600 * 1000 + 1) << false << false;
}

void TestPositionServer::onlineAndForgottenCutOffs()
{
    QFETCH(qint64, elapsedMs);
    QFETCH(bool, listed);
    QFETCH(bool, online);

    RunningServer posd(folder->path());
    QCOMPARE(
        httpGet(manager, posd.url("Register", registerQuery(1, "facebook", "1", "x"))).status, 200);
    QCOMPARE(httpGet(manager, posd.url("SetPos", posQuery(1, 1, 2))).status, 200);
    *posd.now += elapsedMs;
    QVector<ListedUser> users;
    QVERIFY(readUserList(httpGet(manager, posd.url("GetUsers", usersQuery(1, 2, 13))).body, users));
    QCOMPARE(users.size(), listed ? 1 : 0);
    if (listed)
        QCOMPARE(users[0].online, online);
}

void TestPositionServer::personWithTwoInstallationsIsListedOnce()
{
    RunningServer posd(folder->path());
    QCOMPARE(httpGet(manager, posd.url("Register", registerQuery(1, "facebook", "100", "Old name")))
                 .status,
        200);
    QCOMPARE(
        httpGet(manager, posd.url("Register", registerQuery(2, "facebook", "100", "New name", 2)))
            .status,
        200);
    QCOMPARE(httpGet(manager, posd.url("SetPos", posQuery(2, 50.0002, 8))).status, 200);
    *posd.now += 1000;
    QCOMPARE(httpGet(manager, posd.url("SetPos", posQuery(1, 50.0001, 8))).status, 200);

    QVector<ListedUser> users;
    QVERIFY(
        readUserList(httpGet(manager, posd.url("GetUsers", usersQuery(50, 8, 13))).body, users));
    QCOMPARE(users.size(), 1);
    QCOMPARE(users[0].name, QString("New name"));
    QCOMPARE(users[0].sex.toUpper(), QString("FEMALE"));
    QCOMPARE(users[0].lat, 50.0001); // the newer report, from the first installation

    // Installation 1 signs in as somebody else: its reports now move that person only.
    QCOMPARE(
        httpGet(manager, posd.url("Register", registerQuery(1, "vkontakte", "7", "Other"))).status,
        200);
    QCOMPARE(httpGet(manager, posd.url("SetPos", posQuery(1, 50.0003, 8))).status, 200);
    QVERIFY(
        readUserList(httpGet(manager, posd.url("GetUsers", usersQuery(50, 8, 13))).body, users));
    QCOMPARE(users.size(), 2);
    QCOMPARE(users[0].name, QString("New name"));
    QCOMPARE(users[0].lat, 50.0001);
    QCOMPARE(users[1].name, QString("Other"));
}

void TestPositionServer::rejectedRequestsStoreNothing()
{
    RunningServer posd(folder->path());
    auto bad = httpGet(manager, posd.url("Register", registerQuery(1, "facebook", "1", "x", 3)));
    QCOMPARE(bad.status, 400);
    QCOMPARE(bad.body, QByteArray("sex is out of range\n"));
    QCOMPARE(bad.contentType, QByteArray("text/plain; charset=utf-8"));
    QCOMPARE(bad.cacheControl, QByteArray("no-store"));
    QCOMPARE(httpGet(manager, posd.url("SetPos", posQuery(1, 1, 1))).status, 404);
    QCOMPARE(
        httpGet(manager, posd.url("Register", registerQuery(1, "facebook", "1", "x"))).status, 200);
    QCOMPARE(httpGet(manager, posd.url("SetPos", posQuery(1, 1, 1))).status, 200);
    QCOMPARE(httpGet(manager, posd.url("SetPos", posQuery(1, 91, 1))).status, 400);
    QCOMPARE(httpGet(manager, posd.url("SetPos", posQuery(9, 2, 2))).status, 404);
    QCOMPARE(posd.server->personCount(), std::size_t(1));

    QVector<ListedUser> users;
    QVERIFY(readUserList(httpGet(manager, posd.url("GetUsers", usersQuery(1, 1, 13))).body, users));
    QCOMPARE(users.size(), 1);
    QCOMPARE(users[0].lat, 1.0);
    QCOMPARE(httpGet(manager, posd.url("GetUsers", "lat=0&lon=0&zoomlevel=0")).status, 200);
}

void TestPositionServer::restartKeepsRegistrationsAndPositions()
{
    RunningServer posd(folder->path());
    QCOMPARE(
        httpGet(manager,
            posd.url("Register", registerQuery(1, "vkontakte", "5", QString::fromUtf8("Жанна"))))
            .status,
        200);
    QCOMPARE(httpGet(manager, posd.url("SetPos", posQuery(1, -33.8688, 151.209))).status, 200);
    posd.restart();

    QCOMPARE(httpGet(manager, posd.url("SetPos", posQuery(1, -33.8689, 151.209))).status, 200);
    QVector<ListedUser> users;
    QVERIFY(readUserList(
        httpGet(manager, posd.url("GetUsers", usersQuery(-33.8688, 151.209, 15))).body, users));
    QCOMPARE(users.size(), 1);
    QCOMPARE(users[0].name, QString::fromUtf8("Жанна"));
    QCOMPARE(users[0].lat, -33.8689);
    posd.restart();
    QVERIFY(readUserList(
        httpGet(manager, posd.url("GetUsers", usersQuery(-33.8688, 151.209, 15))).body, users));
    QCOMPARE(users.size(), 1);
    QCOMPARE(users[0].lat, -33.8689);
}

void TestPositionServer::badHttpGetsAnErrorAnswer_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("statusLine");

    const QByteArray path = "/PosService/PosService.svc/GetUsers?lat=1&lon=1&zoomlevel=3";
    QTest::newRow("health check") << QByteArray("GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n")
                                  << QByteArray("HTTP/1.1 200");
    QTest::newRow("unknown path") << QByteArray(
        "GET /PosService/PosService.svc/Drop HTTP/1.1\r\n\r\n")
                                  << QByteArray("HTTP/1.1 404");
    QTest::newRow("POST") << "POST " + path + " HTTP/1.1\r\nContent-Length: 0\r\n\r\n"
                          << QByteArray("HTTP/1.1 405");
    QTest::newRow("GET with a body")
        << "GET " + path + " HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello"
        << QByteArray("HTTP/1.1 400");
    QTest::newRow("headers of 8 KiB and more")
        << "GET " + path + " HTTP/1.1\r\nX-Pad: " + QByteArray(8200, 'a') + "\r\n\r\n"
        << QByteArray("HTTP/1.1 431");
    QTest::newRow("request line of 8 KiB and more")
        << "GET " + path + "&pad=" + QByteArray(8200, 'a') + " HTTP/1.1\r\n\r\n"
        << QByteArray("HTTP/1.1 431");
    QTest::newRow("not HTTP") << QByteArray("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n",
        15) << QByteArray("HTTP/1.1 400");
    QTest::newRow("absolute target")
        << QByteArray("GET http://x/healthz HTTP/1.1\r\n\r\n") << QByteArray("HTTP/1.1 400");
    QTest::newRow("bad query") << "GET " + path + "%zz HTTP/1.1\r\n\r\n"
                               << QByteArray("HTTP/1.1 400");
}

void TestPositionServer::badHttpGetsAnErrorAnswer()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, statusLine);
    RunningServer posd(folder->path());
    const QByteArray answer = rawExchange(posd.server->port(), request);
    QVERIFY2(answer.startsWith(statusLine), answer.left(200).constData());
    // The server is still there for the next client.
    QCOMPARE(httpGet(manager, posd.url("GetUsers", "lat=0&lon=0&zoomlevel=0")).status, 200);
}

void TestPositionServer::keepsConnectionsAliveAndClosesIdleOnes()
{
    QTemporaryDir dir;
    RunningServer posd(dir.path());
    posd.config.limits.idleTimeout = std::chrono::milliseconds(300);
    posd.restart();

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, posd.server->port());
    QVERIFY(socket.waitForConnected(3000));
    // Two pipelined requests on one connection get two answers on it.
    socket.write("GET /healthz HTTP/1.1\r\n\r\nGET /healthz HTTP/1.1\r\n\r\n");
    QByteArray received;
    while (received.count("HTTP/1.1 200") < 2 && socket.waitForReadyRead(3000))
        received += socket.readAll();
    QCOMPARE(received.count("HTTP/1.1 200"), 2);
    // Then silence: the server hangs up after its idle time-out.
    QElapsedTimer timer;
    timer.start();
    QVERIFY(
        socket.state() == QAbstractSocket::UnconnectedState || socket.waitForDisconnected(5000));
    QVERIFY(timer.elapsed() < 4000);
}

void TestPositionServer::metricsCountTheRequests()
{
    RunningServer posd(folder->path());
    const QUrl page(QStringLiteral("http://127.0.0.1:%1/metrics").arg(posd.server->port()));
    // The value of one sample line of the page, -1 when it is missing.
    const auto sample = [&](const QByteArray &body, const QByteArray &name) {
        for (const QByteArray &line : body.split('\n')) {
            if (line.startsWith(name + ' '))
                return line.mid(name.size() + 1).toDouble();
        }
        return -1.0;
    };
    const auto before = httpGet(manager, page);
    QCOMPARE(before.status, 200);
    QVERIFY(before.contentType.startsWith("text/plain; version=0.0.4"));

    for (int i = 1; i <= 3; ++i) {
        QCOMPARE(httpGet(manager,
                     posd.url("Register", registerQuery(i, "facebook", QString::number(i), "x")))
                     .status,
            200);
    }
    for (int i = 0; i < 5; ++i)
        QCOMPARE(httpGet(manager, posd.url("SetPos", posQuery(1 + i % 2, 10, 20))).status, 200);
    QCOMPARE(httpGet(manager, posd.url("SetPos", posQuery(9, 10, 20))).status, 404);
    QCOMPARE(httpGet(manager, posd.url("GetUsers", usersQuery(10, 20, 13))).status, 200);
    QCOMPARE(httpGet(manager, posd.url("GetUsers", "lat=1")).status, 400);
    posd.now->fetch_add(61 * 1000); // person 2 reports again after a minute; 1 is no longer online
    QCOMPARE(httpGet(manager, posd.url("SetPos", posQuery(2, 10, 20))).status, 200);

    const auto after = httpGet(manager, page);
    const auto moved = [&](const char *name) {
        return sample(after.body, name) - std::max(0.0, sample(before.body, name));
    };
    QCOMPARE(moved(R"(pinrova_requests_total{kind="register",status="200"})"), 3.0);
    QCOMPARE(moved(R"(pinrova_requests_total{kind="setpos",status="200"})"), 6.0);
    QCOMPARE(moved(R"(pinrova_requests_total{kind="setpos",status="404"})"), 1.0);
    QCOMPARE(moved(R"(pinrova_requests_total{kind="getusers",status="200"})"), 1.0);
    QCOMPARE(moved(R"(pinrova_requests_total{kind="getusers",status="400"})"), 1.0);
    QCOMPARE(moved(R"(pinrova_requests_total{kind="metrics",status="200"})"), 1.0);
    QCOMPARE(moved(R"(pinrova_request_duration_seconds_count{kind="setpos"})"), 7.0);
    QCOMPARE(moved(R"(pinrova_request_duration_seconds_bucket{kind="setpos",le="+Inf"})"), 7.0);
    QCOMPARE(sample(after.body, "pinrova_people"), 3.0);
    QCOMPARE(sample(after.body, "pinrova_people_online"), 1.0);
    QVERIFY(sample(after.body, "pinrova_commit_duration_seconds_count") >= 1);
    QVERIFY(sample(after.body, "pinrova_open_connections") >= 1);
    QVERIFY(sample(after.body, "pinrova_write_queue") >= 0);
    QVERIFY(sample(after.body, "pinrova_connections_evicted_total") >= 0);
}

void TestPositionServer::readsAFileOfTheEarlierLayout()
{
    const std::string path = (folder->path() + "/positions.db").toStdString();
    {
        // Positions in the person row, no registration time: as files were written before.
        SqliteDatabase db(path);
        db.execute("CREATE TABLE person (id INTEGER PRIMARY KEY, network INTEGER NOT NULL, "
                   "ext_id TEXT NOT NULL, name TEXT NOT NULL, small_picture TEXT NOT NULL, "
                   "medium_picture TEXT NOT NULL, sex INTEGER NOT NULL, lat REAL, lon REAL, "
                   "seen_ms INTEGER, UNIQUE (network, ext_id))");
        db.execute("CREATE TABLE installation (uid TEXT PRIMARY KEY, person_id INTEGER NOT NULL "
                   "REFERENCES person (id)) WITHOUT ROWID");
        db.execute(("INSERT INTO person VALUES (7, 0, '70', 'Old', '', '', 1, 10.5, 20.5, "
            + std::to_string(T0) + ")")
                       .c_str());
        db.execute(
            ("INSERT INTO installation VALUES ('" + testUid(1).toStdString() + "', 7)").c_str());
    }
    RunningServer posd(folder->path());
    QVector<ListedUser> users;
    QVERIFY(readUserList(
        httpGet(manager, posd.url("GetUsers", usersQuery(10.5, 20.5, 13))).body, users));
    QCOMPARE(users.size(), 1);
    QCOMPARE(users[0].name, QString("Old"));
    QCOMPARE(users[0].lat, 10.5);
    QCOMPARE(httpGet(manager, posd.url("SetPos", posQuery(1, 10.6, 20.5))).status, 200);
    posd.restart();
    QVERIFY(readUserList(
        httpGet(manager, posd.url("GetUsers", usersQuery(10.6, 20.5, 13))).body, users));
    QCOMPARE(users.size(), 1);
    QCOMPARE(users[0].lat, 10.6);
}

void TestPositionServer::sweepDeletesTheSilent()
{
    ListingPolicy policy;
    policy.retainMs = 10 * 1000;
    RunningServer posd(folder->path(), policy);
    posd.config.sweepInterval = std::chrono::milliseconds(50);
    posd.restart();
    for (int i = 1; i <= 2; ++i) {
        QCOMPARE(httpGet(manager,
                     posd.url("Register", registerQuery(i, "facebook", QString::number(i), "x")))
                     .status,
            200);
    }
    QCOMPARE(httpGet(manager, posd.url("SetPos", posQuery(1, 10, 20))).status, 200);
    QCOMPARE(httpGet(manager, posd.url("SetPos", posQuery(2, 10, 20.001))).status, 200);
    *posd.now += 9 * 1000;
    QCOMPARE(httpGet(manager, posd.url("SetPos", posQuery(2, 10, 20.002))).status, 200);
    // Person 3 registers late and never reports; person 1 has been silent for 10.001 s.
    *posd.now += 1001;
    QCOMPARE(
        httpGet(manager, posd.url("Register", registerQuery(3, "facebook", "3", "x"))).status, 200);
    QTRY_COMPARE(posd.server->personCount(), std::size_t(2));
    QCOMPARE(httpGet(manager, posd.url("SetPos", posQuery(1, 10, 20))).status, 404);
    posd.restart();
    QCOMPARE(posd.server->personCount(), std::size_t(2));
    QCOMPARE(httpGet(manager, posd.url("SetPos", posQuery(1, 10, 20))).status, 404);
    QCOMPARE(httpGet(manager, posd.url("SetPos", posQuery(3, 10, 20))).status, 200);
    QVector<ListedUser> users;
    QVERIFY(
        readUserList(httpGet(manager, posd.url("GetUsers", usersQuery(10, 20, 13))).body, users));
    QCOMPARE(users.size(), 2);
}

void TestPositionServer::fullQueueAnswers503AndFailedWritesAreRetried()
{
    RunningServer posd(folder->path());
    posd.config.maxPendingPositions = 2;
    posd.restart();
    for (int i = 1; i <= 3; ++i) {
        QCOMPARE(httpGet(manager,
                     posd.url("Register", registerQuery(i, "facebook", QString::number(i), "x")))
                     .status,
            200);
    }
    // Another writer holds the file, so every commit fails after the 5 s busy wait.
    SqliteDatabase other((folder->path() + "/positions.db").toStdString());
    other.execute("BEGIN IMMEDIATE");
    QCOMPARE(httpGet(manager, posd.url("SetPos", posQuery(1, 10, 20))).status, 200);
    QCOMPARE(httpGet(manager, posd.url("SetPos", posQuery(2, 10, 20))).status, 200);
    const auto refused = httpGet(manager, posd.url("SetPos", posQuery(3, 10, 20)));
    QCOMPARE(refused.status, 503);
    QCOMPARE(refused.retryAfter, QByteArray("1"));
    // A person already waiting only has the value replaced.
    QCOMPARE(httpGet(manager, posd.url("SetPos", posQuery(1, 11, 20))).status, 200);
    QTest::qWait(5500); // at least one commit has failed by now
    other.execute("ROLLBACK");

    const auto stored = [&] {
        SqliteStatement rows(other.handle(), "SELECT count(*), max(lat) FROM position");
        return rows.step() ? std::make_pair(rows.integer(0), rows.real(1))
                           : std::make_pair(std::int64_t(0), 0.0);
    };
    QTRY_COMPARE_WITH_TIMEOUT(stored(), std::make_pair(std::int64_t(2), 11.0), 10000);
    QCOMPARE(httpGet(manager, posd.url("SetPos", posQuery(3, 10, 20))).status, 200);
}

QTEST_GUILESS_MAIN(TestPositionServer)
#include "tst_positionserver.moc"
