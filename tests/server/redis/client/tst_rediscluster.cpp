// The Redis Cluster client against a real cluster of three masters: slot routing, pipelining,
// a resharding while calls run, a hanging node and a lost one.
#include "redis/client/keyslot.h"
#include "redis/client/rediscluster.h"
#include "redisclusterprocess.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

#include <boost/asio/io_context.hpp>

#include <map>
#include <optional>

using namespace Pinrova::Server::Redis;
using Pinrova::Testing::RedisClusterProcess;

namespace {

// Generous: the sanitizer build on two shared cores answers thousands of pipelined calls slowly.
constexpr std::chrono::milliseconds CallTimeout {2000};

// Runs the loop until done() or timeoutMs; false on time-out.
template<typename Predicate>
bool runUntil(boost::asio::io_context &io, Predicate done, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        io.restart();
        io.run_for(std::chrono::milliseconds(5));
    }
    return true;
}

// One call, waited for.
CallResult callNow(boost::asio::io_context &io, RedisCluster &cluster, const std::string &key,
    std::vector<std::string> args)
{
    std::optional<CallResult> result;
    cluster.call(key, std::move(args), [&](CallResult r) { result = std::move(r); });
    runUntil(io, [&] { return result.has_value(); });
    return result.value_or(CallResult {CallStatus::TimedOut, {}});
}

// A key whose slot the given node serves.
std::string keyOnNode(const RedisCluster &cluster, quint16 port, const char *prefix)
{
    for (int i = 0; i < 100000; ++i) {
        const std::string key = prefix + std::to_string(i);
        if (cluster.masterOf(keySlot(key)) == "127.0.0.1:" + std::to_string(port))
            return key;
    }
    return {};
}

} // namespace

class TestRedisCluster : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void keySlotMatchesServer_data();
    void keySlotMatchesServer();
    void routesAndPipelines();
    void followsReshardingWhileCallsRun();
    void hangingNodeTimesOutAlone();
    void lostNodeFailsFast();

private:
    std::unique_ptr<RedisClusterProcess> redis;
    boost::asio::io_context io;
    std::unique_ptr<RedisCluster> cluster;
};

void TestRedisCluster::initTestCase()
{
    if (!RedisClusterProcess::available())
        QSKIP("redis-server and redis-cli are not installed");
    redis = std::make_unique<RedisClusterProcess>(3, 0);
    QVERIFY2(redis->error().isEmpty(), qPrintable(redis->error()));
    cluster = std::make_unique<RedisCluster>(
        io, parseEndpoints(redis->seeds().toStdString()), CallTimeout);
    QVERIFY(callNow(io, *cluster, "warm", {"SET", "warm", "1"}).ok());
}

void TestRedisCluster::keySlotMatchesServer_data()
{
    QTest::addColumn<QString>("key");
    QTest::newRow("plain") << "foo";
    QTest::newRow("check value") << "123456789";
    QTest::newRow("hash tag") << "{user1000}.following";
    QTest::newRow("empty tag hashes whole key") << "foo{}{bar}";
    QTest::newRow("first tag only") << "foo{{bar}}zap";
    QTest::newRow("unclosed brace") << "foo{bar";
    QTest::newRow("utf-8") << QString::fromUtf8("{t:Пётр}:g");
    QTest::newRow("empty") << "";
}

void TestRedisCluster::keySlotMatchesServer()
{
    QFETCH(QString, key);
    const QByteArray bytes = key.toUtf8();
    const CallResult result
        = callNow(io, *cluster, "any", {"CLUSTER", "KEYSLOT", bytes.toStdString()});
    QVERIFY(result.ok());
    QCOMPARE(keySlot(std::string_view(bytes.constData(), bytes.size())),
        static_cast<unsigned>(result.reply.integer));
}

void TestRedisCluster::routesAndPipelines()
{
    // Thousands of calls in flight at once over the three masters, every one answered in
    // order of its own key and none redirected: the map is right from the start.
    const std::size_t redirectsBefore = cluster->redirectCount();
    constexpr int Calls = 3000;
    int answered = 0;
    int wrong = 0;
    for (int i = 0; i < Calls; ++i) {
        const std::string key = "pipe:" + std::to_string(i);
        cluster->call(key, {"SET", key, std::to_string(i)}, [&](CallResult r) {
            wrong += !r.ok();
            ++answered;
        });
        cluster->call(key, {"GET", key}, [&, i](CallResult r) {
            wrong += !r.ok() || r.reply.text != std::to_string(i);
            ++answered;
        });
    }
    QVERIFY(runUntil(io, [&] { return answered == 2 * Calls; }));
    QCOMPARE(wrong, 0);
    QCOMPARE(cluster->redirectCount(), redirectsBefore);
}

void TestRedisCluster::followsReshardingWhileCallsRun()
{
    // 1000 slots move from one master to another while increments run on keys spread over
    // all slots: every increment is answered and counted exactly once.
    const QString from = redis->nodeId(0);
    const QString to = redis->nodeId(1);
    QVERIFY(!from.isEmpty() && !to.isEmpty());
    const std::string movedKey = keyOnNode(*cluster, redis->port(0), "moved:");
    QVERIFY(!movedKey.empty());

    QProcess reshard;
    reshard.setProcessChannelMode(QProcess::MergedChannels);
    reshard.start("redis-cli",
        {"--cluster", "reshard", QString("127.0.0.1:%1").arg(redis->port(0)), "--cluster-from",
            from, "--cluster-to", to, "--cluster-slots", "1000", "--cluster-yes",
            "--cluster-pipeline", "10"});
    QVERIFY(reshard.waitForStarted());

    constexpr int Keys = 400;
    std::map<int, int> sent;
    int inFlight = 0;
    int failed = 0;
    QString firstFailure;
    int rounds = 0;
    const auto issueRound = [&] {
        for (int k = 0; k < Keys; ++k) {
            const std::string key = "count:" + std::to_string(k);
            ++sent[k];
            ++inFlight;
            cluster->call(key, {"INCR", key}, [&](CallResult r) {
                --inFlight;
                if (!r.ok()) {
                    if (!failed++)
                        firstFailure = QString::fromStdString(r.reply.text);
                }
            });
        }
        ++rounds;
    };
    // Rounds keep going until the resharding is over, one round in flight at a time.
    while (reshard.state() != QProcess::NotRunning || rounds < 3) {
        issueRound();
        QVERIFY(runUntil(io, [&] { return inFlight == 0; }));
        reshard.waitForFinished(1);
    }
    QCOMPARE(reshard.exitCode(), 0);
    QVERIFY2(
        failed == 0, qPrintable(QString("%1 failed, first: %2").arg(failed).arg(firstFailure)));
    QVERIFY(rounds > 3);
    for (int k = 0; k < Keys; ++k) {
        const std::string key = "count:" + std::to_string(k);
        const CallResult value = callNow(io, *cluster, key, {"GET", key});
        QVERIFY(value.ok());
        QCOMPARE(std::stoi(value.reply.text), sent[k]);
    }
    QVERIFY(cluster->redirectCount() > 0);
    // The map has learnt the new owner of the moved slots.
    cluster->call("x", {"SET", "x", "1"}, [](CallResult) {});
    QVERIFY(callNow(io, *cluster, movedKey, {"SET", movedKey, "1"}).ok());
    const int owner = redis->masterOfKey(QString::fromStdString(movedKey));
    QVERIFY(owner >= 0);
    QCOMPARE(
        cluster->masterOf(keySlot(movedKey)), "127.0.0.1:" + std::to_string(redis->port(owner)));
}

void TestRedisCluster::hangingNodeTimesOutAlone()
{
    // A master that stops answering but keeps its connections: its calls end at the time-out,
    // the other masters' calls are answered meanwhile.
    const std::string slow = keyOnNode(*cluster, redis->port(2), "slow:");
    const std::string fast = keyOnNode(*cluster, redis->port(1), "fast:");
    QVERIFY(!slow.empty() && !fast.empty());
    redis->pause(2);
    QElapsedTimer timer;
    timer.start();
    std::optional<CallResult> slowResult;
    std::optional<qint64> slowMs;
    cluster->call(slow, {"GET", slow}, [&](CallResult r) {
        slowResult = r;
        slowMs = timer.elapsed();
    });
    const CallResult fastResult = callNow(io, *cluster, fast, {"SET", fast, "1"});
    QVERIFY(fastResult.ok());
    QVERIFY(!slowResult);
    QVERIFY(runUntil(
        io, [&] { return slowResult.has_value(); }, 5000));
    redis->resume(2);
    QCOMPARE(slowResult->status, CallStatus::TimedOut);
    QVERIFY2(*slowMs >= CallTimeout.count() - 50 && *slowMs < CallTimeout.count() + 500,
        qPrintable(QString::number(*slowMs)));
    // Back again, the node answers on a new connection.
    QVERIFY(callNow(io, *cluster, slow, {"SET", slow, "2"}).ok());
}

void TestRedisCluster::lostNodeFailsFast()
{
    // A master killed with no replica to take over: its calls are answered unreachable well
    // before the time-out, the other masters still serve theirs.
    const std::string lost = keyOnNode(*cluster, redis->port(2), "lost:");
    const std::string kept = keyOnNode(*cluster, redis->port(0), "kept:");
    QVERIFY(!lost.empty() && !kept.empty());
    redis->kill(2);
    for (int attempt = 0; attempt < 3; ++attempt) {
        QElapsedTimer timer;
        timer.start();
        const CallResult result = callNow(io, *cluster, lost, {"GET", lost});
        QCOMPARE(result.status, CallStatus::Unreachable);
        QVERIFY2(timer.elapsed() < CallTimeout.count() / 2,
            qPrintable(QString::number(timer.elapsed())));
    }
    QVERIFY(callNow(io, *cluster, kept, {"SET", kept, "1"}).ok());
}

QTEST_GUILESS_MAIN(TestRedisCluster)
#include "tst_rediscluster.moc"
