// Faults against the real pinrova-posd process: kill -9 in the middle of a wrk write load,
// connections that never finish a request, and a full connection table.
#include "embedded/sqlitedatabase.h"

#include "posdprocess.h"
#include "posdtesting.h"

#include <QElapsedTimer>
#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include <signal.h>

using namespace Pinrova::Server;
using namespace Pinrova::Testing;

namespace {

QString usersQuery(double lat, double lon)
{
    return "lat=" + QString::number(lat, 'g', 17) + "&lon=" + QString::number(lon, 'g', 17)
        + "&zoomlevel=14";
}

int count(SqliteDatabase &db, const char *sql)
{
    SqliteStatement statement(db.handle(), sql);
    return statement.step() ? static_cast<int>(statement.integer(0)) : -1;
}

enum class Registration { First, Already };

// Round trips of an ordinary client on one kept-alive connection: person n (registered first
// when asked) reports a position and asks who is near. Returns a description of the first
// request not answered with a 200 within 5 s, or an empty string when all were.
QString roundTrips(
    const PosdProcess &posd, quint16 port, int person, int rounds, Registration registration)
{
    QNetworkAccessManager manager;
    if (registration == Registration::First) {
        const int status
            = httpGet(manager, posd.url(port, "Register", testRegisterQuery(person)), 5000).status;
        if (status != 200)
            return QString("Register answered %1").arg(status);
    }
    for (int round = 0; round < rounds; ++round) {
        const double lat = -33.9 + round * 0.001;
        const PosdAnswer set
            = httpGet(manager, posd.url(port, "SetPos", testPosQuery(person, lat, 18.4)), 5000);
        if (set.status != 200)
            return QString("SetPos %1 answered %2").arg(round).arg(set.status);
        const PosdAnswer users
            = httpGet(manager, posd.url(port, "GetUsers", usersQuery(lat, 18.4)), 5000);
        QVector<ListedUser> listed;
        if (users.status != 200 || !readUserList(users.body, listed) || listed.isEmpty())
            return QString("GetUsers %1 answered %2").arg(round).arg(users.status);
    }
    return {};
}

// Raw connections from 127.0.0.1 that never finish a request, opened one after the other.
// Silent ones send nothing; trickling ones send a request head one byte every 100 ms, which
// would take half a minute to complete. Records when the server closes each.
class HangingClients : public QObject
{
public:
    HangingClients(quint16 port, int count, bool trickle)
        : head(QByteArray(
                   "GET /PosService/PosService.svc/GetUsers?lat=59.94&lon=30.31&zoomlevel=14&x=")
            + QByteArray(220, 'x') + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
    {
        clock.start();
        for (int i = 0; i < count; ++i) {
            auto *socket = new QTcpSocket(this);
            connect(socket, &QTcpSocket::disconnected, this,
                [this, i] { clients[i].closedAt = clock.elapsed(); });
            socket->connectToHost(QHostAddress::LocalHost, port);
            clients.push_back({socket});
            if (socket->waitForConnected(3000))
                clients.back().connectedAt = clock.elapsed();
        }
        if (trickle) {
            auto *timer = new QTimer(this);
            connect(timer, &QTimer::timeout, this, &HangingClients::sendNextByte);
            timer->start(100);
            sendNextByte();
        }
    }

    int connectedCount() const
    {
        int n = 0;
        for (const auto &client : clients)
            n += client.connectedAt >= 0;
        return n;
    }

    int closedCount() const
    {
        int n = 0;
        for (const auto &client : clients)
            n += client.closedAt >= 0;
        return n;
    }

    bool isClosed(int i) const { return clients[i].closedAt >= 0; }
    int size() const { return static_cast<int>(clients.size()); }

    // Milliseconds from a client's first byte (or its connection, when silent) to its close.
    qint64 heldFor(int i) const
    {
        const Client &client = clients[i];
        return client.closedAt
            - (client.firstByteAt >= 0 ? client.firstByteAt : client.connectedAt);
    }

    // The most bytes any client sent before the server closed it.
    int mostBytesSent() const
    {
        int most = 0;
        for (const auto &client : clients)
            most = std::max(most, client.sent);
        return most;
    }

private:
    struct Client
    {
        QTcpSocket *socket = nullptr;
        int sent = 0; // bytes of the head
        qint64 connectedAt = -1; // -1: not (yet) happened
        qint64 firstByteAt = -1;
        qint64 closedAt = -1;
    };

    void sendNextByte()
    {
        for (auto &client : clients) {
            if (client.closedAt >= 0 || client.sent >= head.size()
                || client.socket->state() != QAbstractSocket::ConnectedState)
                continue;
            if (client.sent == 0)
                client.firstByteAt = clock.elapsed();
            client.socket->write(head.constData() + client.sent, 1);
            ++client.sent;
        }
    }

    const QByteArray head;
    QElapsedTimer clock;
    std::vector<Client> clients;
};

} // namespace

class TestPosdFaults : public QObject
{
    Q_OBJECT

private slots:
    void killDuringWrkWriteLoadKeepsAcknowledgedRegistrations();
    void hangingConnectionsDoNotHoldUpOthers();
    void fullConnectionTableMakesRoom_data();
    void fullConnectionTableMakesRoom();
};

void TestPosdFaults::killDuringWrkWriteLoadKeepsAcknowledgedRegistrations()
{
    const QString wrk = QStandardPaths::findExecutable("wrk");
    if (wrk.isEmpty())
        QFAIL("wrk is not on PATH: scripts/setup installs it (scripts/packages), or "
              "apt-get install wrk");
    QTemporaryDir dir;
    const QString database = dir.filePath("positions.db");
    auto posd = std::make_unique<PosdProcess>(database);
    const quint16 port = posd->waitForPort();
    QVERIFY2(port, posd->output.constData());

    QProcess load;
    load.setProcessChannelMode(QProcess::MergedChannels);
    load.start(wrk,
        {"-t2", "-c32", "-d30s", "-s", WRITELOAD_SCRIPT, QString("http://127.0.0.1:%1").arg(port)});
    QVERIFY2(load.waitForStarted(5000), qPrintable(load.errorString()));
    QElapsedTimer loading;
    loading.start();

    // Beside wrk, six chains of Register then SetPos whose every 200 is remembered by uid.
    QNetworkAccessManager manager;
    QSet<QString> acknowledged;
    int sent = 0;
    int lastAcknowledged = 0;
    int unfinished = 0;
    bool killed = false;
    std::function<void()> next = [&]() {
        if (killed)
            return;
        const int n = ++sent;
        QNetworkReply *reply
            = manager.get(QNetworkRequest(posd->url(port, "Register", testRegisterQuery(n))));
        ++unfinished;
        connect(reply, &QNetworkReply::finished, this, [&, reply, n]() {
            reply->deleteLater();
            --unfinished;
            // A 200 read after the kill was still sent before it, so it counts as well.
            if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200)
                return;
            acknowledged.insert(testUid(n));
            lastAcknowledged = std::max(lastAcknowledged, n);
            if (killed)
                return;
            QNetworkReply *pos = manager.get(
                QNetworkRequest(posd->url(port, "SetPos", testPosQuery(n, n % 80, 30))));
            ++unfinished;
            connect(pos, &QNetworkReply::finished, this, [&, pos]() {
                pos->deleteLater();
                --unfinished;
                next();
            });
        });
    };
    for (int chain = 0; chain < 6; ++chain)
        next();

    // The kill lands a third into the load, after tens of thousands of rows and several
    // checkpoints of the write-ahead log.
    QTRY_VERIFY_WITH_TIMEOUT(loading.elapsed() >= 10000 && acknowledged.size() >= 200, 25000);
    QVERIFY2(load.state() == QProcess::Running, load.readAll().constData());
    killed = true;
    posd->process.kill(); // SIGKILL: no chance to write anything more
    QVERIFY(posd->process.waitForFinished(5000));
    QCOMPARE(posd->process.exitStatus(), QProcess::CrashExit);
    ::kill(static_cast<pid_t>(load.processId()), SIGINT); // wrk prints its summary and stops
    QVERIFY(load.waitForFinished(10000));
    QTRY_COMPARE_WITH_TIMEOUT(unfinished, 0, 10000);

    const QByteArray summary = load.readAll();
    const auto counts
        = QRegularExpression("writeload: (\\d+) registered, (\\d+) stored, (\\d+) other")
              .match(QString::fromUtf8(summary));
    QVERIFY2(counts.hasMatch(), summary.constData());
    const int wrkRegistered = counts.captured(1).toInt();
    QVERIFY2(counts.captured(3) == "0", summary.constData()); // every answer before the kill a 200
    QVERIFY2(wrkRegistered >= 1000, summary.constData());

    {
        SqliteDatabase db(database.toStdString());
        SqliteStatement check(db.handle(), "PRAGMA integrity_check");
        QVERIFY(check.step());
        QCOMPARE(QString::fromStdString(check.text(0)), QString("ok"));
        // wrk counts its acknowledged registrations; its uids have "-0001-" as second group.
        const int wrkStored
            = count(db, "SELECT count(*) FROM installation WHERE uid LIKE '%-0001-%'");
        QVERIFY2(wrkStored >= wrkRegistered,
            qPrintable(QString("wrk had %1 registrations acknowledged, the file holds %2")
                           .arg(wrkRegistered)
                           .arg(wrkStored)));
        SqliteStatement rows(db.handle(),
            "SELECT uid, ext_id FROM installation JOIN person ON person.id = person_id");
        QHash<QString, QString> stored;
        while (rows.step())
            stored.insert(
                QString::fromStdString(rows.text(0)), QString::fromStdString(rows.text(1)));
        int lost = 0;
        for (const QString &uid : qAsConst(acknowledged)) {
            const int n = uid.mid(1, 8).toInt(nullptr, 16);
            lost += stored.value(uid) != QString::number(n);
        }
        QVERIFY2(lost == 0,
            qPrintable(QString("%1 of %2 acknowledged registrations lost")
                           .arg(lost)
                           .arg(acknowledged.size())));
        qInfo("killed %lld ms into the load: %d registrations acknowledged to wrk, %d to the "
              "chains, %d in the file",
            loading.elapsed(), wrkRegistered, int(acknowledged.size()), int(stored.size()));
    }

    // The same file and port again: the people come back and are served.
    posd.reset();
    PosdProcess again(database, {"--listen", QString("127.0.0.1:%1").arg(port)});
    QCOMPARE(again.waitForPort(), port);
    const QString people
        = QRegularExpression("(\\d+) people").match(QString::fromUtf8(again.output)).captured(1);
    QVERIFY2(people.toInt() >= wrkRegistered + acknowledged.size(), again.output.constData());
    const QString failure = roundTrips(again, port, lastAcknowledged, 1, Registration::Already);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVector<ListedUser> listed;
    QVERIFY(readUserList(
        httpGet(manager, again.url(port, "GetUsers", usersQuery(-33.9, 18.4))).body, listed));
    QCOMPARE(listed.size(), 1);
    QCOMPARE(listed[0].ids.value(0).first, QString::number(lastAcknowledged));
}

void TestPosdFaults::hangingConnectionsDoNotHoldUpOthers()
{
    QTemporaryDir dir;
    const int readMs = 4000;
    const int idleMs = 5000;
    PosdProcess posd(dir.filePath("positions.db"),
        {"--read-timeout-ms", QString::number(readMs), "--idle-timeout-ms",
            QString::number(idleMs)});
    const quint16 port = posd.waitForPort();
    QVERIFY2(port, posd.output.constData());
    HangingClients trickling(port, 200, true);
    HangingClients silent(port, 100, false);
    QCOMPARE(trickling.connectedCount(), 200);
    QCOMPARE(silent.connectedCount(), 100);

    const QString failure = roundTrips(posd, port, 1, 20, Registration::First);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(trickling.closedCount(), 0); // they were all still hanging meanwhile
    QCOMPARE(silent.closedCount(), 0);

    // Each trickling head is cut off at the read deadline from its first byte, not left to
    // run on while bytes keep coming; each silent connection at the idle deadline.
    QTRY_COMPARE_WITH_TIMEOUT(trickling.closedCount(), 200, readMs + 4000);
    QTRY_COMPARE_WITH_TIMEOUT(silent.closedCount(), 100, idleMs + 8000);
    for (int i = 0; i < trickling.size(); ++i)
        QVERIFY2(trickling.heldFor(i) >= readMs - 250,
            qPrintable(QString::number(trickling.heldFor(i))));
    for (int i = 0; i < silent.size(); ++i)
        QVERIFY2(silent.heldFor(i) >= idleMs - 250, qPrintable(QString::number(silent.heldFor(i))));
    QVERIFY(trickling.mostBytesSent() < 100);

    const QString after = roundTrips(posd, port, 1, 1, Registration::Already);
    QVERIFY2(after.isEmpty(), qPrintable(after));
}

void TestPosdFaults::fullConnectionTableMakesRoom_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("openFileLimit");
    QTest::addColumn<int>("holders");
    QTest::addColumn<bool>("trickle");

    QTest::newRow("idle holders, --max-connections 40")
        << QStringList {"--max-connections", "40"} << 0 << 60 << false;
    QTest::newRow("trickling holders, --max-connections 40")
        << QStringList {"--max-connections", "40"} << 0 << 60 << true;
    // Without a cap under the limit, accept() fails once the descriptors run out and every
    // newcomer waits unanswered until the holders time out.
    QTest::newRow("idle holders, open-file limit 128") << QStringList() << 128 << 150 << false;
}

void TestPosdFaults::fullConnectionTableMakesRoom()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, openFileLimit);
    QFETCH(int, holders);
    QFETCH(bool, trickle);

    QTemporaryDir dir;
    PosdProcess posd(dir.filePath("positions.db"), arguments, openFileLimit);
    const quint16 port = posd.waitForPort();
    QVERIFY2(port, posd.output.constData());

    // Each holder past the cap takes the place of one that waited longer, and so does the
    // newcomer, which is then served again and again on its kept-alive connection.
    HangingClients hanging(port, holders, trickle);
    QCOMPARE(hanging.connectedCount(), holders);
    const QString failure = roundTrips(posd, port, 1, 20, Registration::First);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));

    int cap = 40;
    if (openFileLimit > 0) {
        const auto line = QRegularExpression("at most (\\d+) connections")
                              .match(QString::fromUtf8(posd.output));
        QVERIFY2(line.hasMatch(), posd.output.constData());
        cap = line.captured(1).toInt();
    }
    QVERIFY(cap > 0 && cap < holders);
    QTRY_VERIFY_WITH_TIMEOUT(hanging.closedCount() >= holders - cap + 1, 5000);
    // The places given up were the oldest: the newest holders are all still there.
    for (int i = holders - cap / 2; i < holders; ++i)
        QVERIFY2(!hanging.isClosed(i), qPrintable(QString("holder %1 of %2").arg(i).arg(holders)));
    QVERIFY(hanging.isClosed(0));
}

QTEST_GUILESS_MAIN(TestPosdFaults)
#include "tst_posdfaults.moc"
