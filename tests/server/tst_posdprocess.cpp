#include "embedded/sqlitedatabase.h"

#include "httpserver.h"
#include "posdprocess.h"
#include "posdtesting.h"
#include "redisclusterprocess.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace Pinrova::Server;
using namespace Pinrova::Testing;

namespace {

QString singleText(SqliteDatabase &db, const char *sql)
{
    SqliteStatement statement(db.handle(), sql);
    return statement.step() ? QString::fromStdString(statement.text(0)) : QString();
}

} // namespace

class TestPosdProcess : public QObject
{
    Q_OBJECT

private slots:
    void commandLine_data();
    void commandLine();
    void terminateWritesPendingPositions();
    void terminateAnswersRequestsInFlight();
    void terminateWithRedisCallsInFlight();
    void killDuringWritesKeepsAcknowledgedRegistrations();
    void secretsFromFilesAndNoneInTheLog();
};

void TestPosdProcess::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");

    QTest::newRow("help") << QStringList {"--help"} << 0;
    QTest::newRow("unknown option") << QStringList {"--bogus"} << 2;
    QTest::newRow("port out of range") << QStringList {"--listen", "127.0.0.1:70000"} << 2;
    QTest::newRow("listen without port") << QStringList {"--listen", "127.0.0.1"} << 2;
    QTest::newRow("zero threads") << QStringList {"--threads=0"} << 2;
    QTest::newRow("missing value") << QStringList {"--max-users"} << 2;
    QTest::newRow("zero read time-out") << QStringList {"--read-timeout-ms=0"} << 2;
    QTest::newRow("read time-out over an hour")
        << QStringList {"--read-timeout-ms", "3600001"} << 2;
    QTest::newRow("idle time-out with a unit") << QStringList {"--idle-timeout-ms", "5s"} << 2;
    QTest::newRow("idle time-out without value") << QStringList {"--idle-timeout-ms"} << 2;
    QTest::newRow("zero connections") << QStringList {"--max-connections", "0"} << 2;
    QTest::newRow("negative connections") << QStringList {"--max-connections=-5"} << 2;
    QTest::newRow("zero retention") << QStringList {"--retain-days", "0"} << 2;
    QTest::newRow("retention with a unit") << QStringList {"--retain-days=30d"} << 2;
    QTest::newRow("zero pending positions") << QStringList {"--max-pending", "0"} << 2;
    QTest::newRow("database in a folder that cannot exist") << QStringList {"--listen",
        "127.0.0.1:0", "--db", "/proc/nonexistent/x.db", "--open-registration"}
                                                            << 1;
    QTest::newRow("no application secret and no open registration") << QStringList {"--listen",
        "127.0.0.1:0", "--db", QDir::tempPath() + "/pinrova-posd-nosecret/x.db"}
                                                                    << 1;
    QTest::newRow("secret file missing")
        << QStringList {"--vk-app-secret-file", "/nonexistent/vk-app-secret"} << 2;
    QTest::newRow("picture hosts of an unknown network")
        << QStringList {"--picture-hosts", "myspace=cdn.myspace.com"} << 2;
    QTest::newRow("trusted proxy by name") << QStringList {"--trusted-proxy", "haproxy"} << 2;
    QTest::newRow("Graph API not over HTTP") << QStringList {"--facebook-graph", "ftp://x"} << 2;
    QTest::newRow("Graph API over plain http off this machine")
        << QStringList {"--facebook-graph", "http://graph.facebook.com"} << 2;
}

void TestPosdProcess::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QProcess process;
    process.start(posdExecutable(), arguments);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    if (exitCode == 0) {
        const QByteArray usage = process.readAllStandardOutput();
        for (const char *option : {"--online-seconds", "--max-connections", "--idle-timeout-ms",
                 "--read-timeout-ms", "--retain-days", "--max-pending"})
            QVERIFY2(usage.contains(option), option);
    }
}

void TestPosdProcess::terminateWritesPendingPositions()
{
    QTemporaryDir dir;
    const QString database = dir.filePath("positions.db");
    QNetworkAccessManager manager;
    {
        PosdProcess posd(database);
        const quint16 port = posd.waitForPort();
        QVERIFY2(port, posd.output.constData());
        QCOMPARE(httpGet(manager, posd.url(port, "Register", testRegisterQuery(1))).status, 200);
        QCOMPARE(httpGet(manager, posd.url(port, "SetPos", testPosQuery(1, 59.5))).status, 200);
        posd.process.terminate(); // before the next periodic write
        QVERIFY(posd.process.waitForFinished(10000));
        QCOMPARE(posd.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(posd.process.exitCode(), 0);
    }
    SqliteDatabase db(database.toStdString());
    QCOMPARE(singleText(db,
                 "SELECT q.lat FROM position q JOIN person p ON p.id = q.person_id "
                 "WHERE p.ext_id = '1'"),
        QString("59.5"));
}

void TestPosdProcess::terminateAnswersRequestsInFlight()
{
    QTemporaryDir dir;
    const QString database = dir.filePath("positions.db");
    QNetworkAccessManager manager;
    PosdProcess posd(database);
    const quint16 port = posd.waitForPort();
    QVERIFY2(port, posd.output.constData());
    QCOMPARE(httpGet(manager, posd.url(port, "Register", testRegisterQuery(1))).status, 200);

    // Another writer holds the file, so the next Register waits for its commit.
    SqliteDatabase other(database.toStdString());
    other.execute("BEGIN IMMEDIATE");
    QNetworkReply *reply
        = manager.get(QNetworkRequest(posd.url(port, "Register", testRegisterQuery(2))));
    QTest::qWait(500);
    QVERIFY(!reply->isFinished());
    posd.process.terminate();
    QTest::qWait(300);
    // No newcomer is taken once the stop has begun.
    QTcpSocket late;
    late.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(!late.waitForConnected(1000));
    other.execute("ROLLBACK");

    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 5000);
    QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
    reply->deleteLater();
    // It may have ended while the event loop above ran.
    QVERIFY(posd.process.state() == QProcess::NotRunning || posd.process.waitForFinished(5000));
    QCOMPARE(posd.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(posd.process.exitCode(), 0);
    QCOMPARE(singleText(other, "SELECT count(*) FROM installation"), QString("2"));
}

void TestPosdProcess::terminateWithRedisCallsInFlight()
{
    // Every node hangs, so each request's call outlives the stop's grace: the stop still ends
    // cleanly, with the calls given up before the connections waiting for them.
    if (!RedisClusterProcess::available())
        QSKIP("redis-server and redis-cli are not installed");
    RedisClusterProcess redis(3, 0);
    QVERIFY2(redis.error().isEmpty(), qPrintable(redis.error()));
    QTemporaryDir dir;
    QNetworkAccessManager manager;
    PosdProcess posd(dir.filePath("unused.db"),
        {"--redis", redis.seeds(), "--redis-replicas", "0", "--redis-timeout-ms", "20000"});
    const quint16 port = posd.waitForPort();
    QVERIFY2(port, posd.output.constData());
    QCOMPARE(httpGet(manager, posd.url(port, "Register", testRegisterQuery(1))).status, 200);
    for (int node = 0; node < redis.nodeCount(); ++node)
        redis.pause(node);
    const QUrl requests[] = {posd.url(port, "SetPos", testPosQuery(1, 59.5)),
        posd.url(port, "GetUsers", "lat=59.5&lon=30&zoomlevel=12"),
        posd.url(port, "Register", testRegisterQuery(2))};
    std::vector<QNetworkReply *> replies;
    for (const QUrl &url : requests)
        replies.push_back(manager.get(QNetworkRequest(url)));
    QTest::qWait(500);
    posd.process.terminate();
    const bool ended = posd.process.waitForFinished(15000);
    for (int node = 0; node < redis.nodeCount(); ++node)
        redis.resume(node);
    QVERIFY(ended);
    QCOMPARE(posd.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(posd.process.exitCode(), 0);
    for (QNetworkReply *reply : replies) {
        QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 5000);
        QVERIFY(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200);
        reply->deleteLater();
    }
}

void TestPosdProcess::killDuringWritesKeepsAcknowledgedRegistrations()
{
    QTemporaryDir dir;
    const QString database = dir.filePath("positions.db");
    QNetworkAccessManager manager;
    QSet<QString> acknowledged;
    int sent = 0;
    bool killed = false;
    auto posd = std::make_unique<PosdProcess>(database);
    const quint16 port = posd->waitForPort();
    QVERIFY2(port, posd->output.constData());

    // Six chains of Register then SetPos, each starting the next pair when done, until the
    // process is killed in the middle of them.
    std::function<void()> next = [&]() {
        if (killed || sent >= 20000)
            return;
        const int n = ++sent;
        QNetworkReply *reply
            = manager.get(QNetworkRequest(posd->url(port, "Register", testRegisterQuery(n))));
        QObject::connect(reply, &QNetworkReply::finished, [&, reply, n]() {
            reply->deleteLater();
            // A 200 read after the kill was still sent before it, so it counts as well.
            if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200)
                return;
            acknowledged.insert(testUid(n));
            if (killed)
                return;
            QNetworkReply *pos
                = manager.get(QNetworkRequest(posd->url(port, "SetPos", testPosQuery(n, n % 80))));
            QObject::connect(pos, &QNetworkReply::finished, [&, pos]() {
                pos->deleteLater();
                next();
            });
        });
    };
    for (int chain = 0; chain < 6; ++chain)
        next();
    QTRY_VERIFY_WITH_TIMEOUT(acknowledged.size() >= 200, 20000);
    killed = true;
    posd->process.kill(); // SIGKILL: no chance to write anything more
    QVERIFY(posd->process.waitForFinished(5000));
    QCOMPARE(posd->process.exitStatus(), QProcess::CrashExit);
    QTest::qWait(200); // let the replies of the dead connections finish

    {
        SqliteDatabase db(database.toStdString());
        QCOMPARE(singleText(db, "PRAGMA integrity_check"), QString("ok"));
        SqliteStatement uids(db.handle(), "SELECT uid FROM installation");
        QSet<QString> stored;
        while (uids.step())
            stored.insert(QString::fromStdString(uids.text(0)));
        const QSet<QString> lost = acknowledged - stored;
        QVERIFY2(lost.isEmpty(),
            qPrintable(QString("%1 of %2 acknowledged registrations lost")
                           .arg(lost.size())
                           .arg(acknowledged.size())));
    }

    // The file opens again and the people come back.
    PosdProcess again(database);
    const quint16 againPort = again.waitForPort();
    QVERIFY2(againPort, again.output.constData());
    QRegularExpression people("(\\d+) people");
    const int count = people.match(QString::fromUtf8(again.output)).captured(1).toInt();
    QVERIFY(count >= acknowledged.size());
    QCOMPARE(httpGet(manager, again.url(againPort, "SetPos", testPosQuery(1, 1))).status, 200);
}

QTEST_GUILESS_MAIN(TestPosdProcess)
void TestPosdProcess::secretsFromFilesAndNoneInTheLog()
{
    QTemporaryDir dir;
    const auto writeFile = [&](const QString &name, const QByteArray &bytes) {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    QVERIFY(writeFile("vk-secret", "proc-vk-secret\n"));
    QVERIFY(writeFile("fb-secret", "proc-fb-secret\n"));
    Pinrova::Http::HttpServer graph;
    graph.route("/debug_token", [](const Pinrova::Http::HttpRequest &request) {
        if (request.queryValue("access_token") != "1234|proc-fb-secret"
            || request.queryValue("input_token") != "tok-42")
            return Pinrova::Http::HttpResponse::error(400, R"({"error":{"code":190}})");
        return Pinrova::Http::HttpResponse::ok(
            R"({"data":{"app_id":"1234","type":"USER","is_valid":true,"user_id":"42","expires_at":0}})");
    });
    QVERIFY(graph.start());
    PosdProcess posd(dir.filePath("positions.db"),
        {"--vk-app-secret-file", dir.filePath("vk-secret"), "--facebook-app-secret-file",
            dir.filePath("fb-secret"), "--facebook-app-id", "1234", "--facebook-graph",
            QString::fromStdString(graph.baseUrl()), "--access-log"});
    const quint16 port = posd.waitForPort();
    QVERIFY2(port, posd.output.constData());
    QNetworkAccessManager manager;

    const QByteArray session = testVkSession("77", 0, "proc-vk-secret");
    const auto vk = httpSend(manager, "GET",
        posd.url(port, "Register",
            "uid=" + testUid(1) + "&network=vkontakte&id=77&name=V&smallPic=&mediumPic=&sex=2"),
        {{"Authorization", "VKontakte " + session}});
    QCOMPARE(vk.status, 200);
    const auto fb = httpSend(manager, "GET",
        posd.url(port, "Register",
            "uid=" + testUid(2) + "&network=facebook&id=42&name=F&smallPic=&mediumPic=&sex=1"),
        {{"Authorization", "Facebook tok-42"}});
    QCOMPARE(fb.status, 200);
    QCOMPARE(fb.body.size(), 43);
    QCOMPARE(httpSend(manager, "GET", posd.url(port, "SetPos", testPosQuery(1, 59.5)),
                 {{"Authorization", "Bearer " + vk.body}})
                 .status,
        200);

    // Every request logged, and not one secret, credential or key among the lines.
    QTRY_COMPARE_WITH_TIMEOUT(
        (posd.readOutput(), posd.output.count(" GET /PosService/PosService.svc/")), 3, 5000);
    for (const QByteArray &secret :
        {vk.body, fb.body, session, QByteArray("tok-42"), QByteArray("proc-vk-secret"),
            QByteArray("proc-fb-secret"), QByteArray("Bearer"), QByteArray("Authorization")})
        QVERIFY2(!posd.output.contains(secret), secret.constData());
}

#include "tst_posdprocess.moc"
