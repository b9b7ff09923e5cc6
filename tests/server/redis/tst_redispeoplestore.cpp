// The Redis Cluster store against a real cluster of three masters with a replica each: its
// nearest people and crowd cells against the embedded store's on the same crowd, session keys,
// Hide and Forget in both, two service instances sharing it, and the faults: a master killed
// right after a registration, a master down, the whole cluster hanging.
#include "api/userlistxml.h"
#include "api/wirerequests.h"
#include "embedded/embeddedpeoplestore.h"
#include "redis/redispeoplestore.h"
#include "redis/tilegeometry.h"
#include "store/uuid.h"

#include "posdprocess.h"
#include "posdtesting.h"
#include "redisclusterprocess.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <cmath>
#include <future>
#include <map>
#include <random>
#include <set>

using namespace Pinrova::Server;
using namespace Pinrova::Testing;

namespace {

constexpr int RedisTimeoutMs = 500;
// A request on a master that is down or hanging is answered within the time-out and this.
constexpr int AnswerSlackMs = 700;

Uuid numberedUid(int n)
{
    Uuid uid;
    for (int i = 0; i < 4; ++i)
        uid.bytes[i] = static_cast<std::uint8_t>(n >> (8 * (3 - i)));
    uid.bytes[6] = 0x40;
    uid.bytes[8] = 0x80;
    return uid;
}

// Runs calls on a store and waits until every one is done.
class Batch
{
public:
    PeopleStore::Done<StoreStatus> add()
    {
        ++issued;
        return [this](StoreStatus status) {
            if (status != StoreStatus::Done)
                ++failed;
            ++finished;
        };
    }
    bool wait(int timeoutMs = 60000)
    {
        QElapsedTimer timer;
        timer.start();
        while (finished < issued && timer.elapsed() < timeoutMs)
            QThread::msleep(5);
        return finished == issued && failed == 0;
    }

private:
    int issued = 0;
    std::atomic<int> finished {0};
    std::atomic<int> failed {0};
};

NearestAnswer nearestOf(PeopleStore &store, const NearestQuery &query)
{
    auto promise = std::make_shared<std::promise<NearestAnswer>>();
    auto answer = promise->get_future();
    store.nearest(query, [promise](NearestAnswer a) { promise->set_value(std::move(a)); });
    if (answer.wait_for(std::chrono::seconds(10)) != std::future_status::ready)
        return {StoreStatus::Unavailable, {}, {}};
    return answer.get();
}

using CellCounts = std::map<std::pair<long long, long long>, std::size_t>;

// The crowd cell (64 world pixels at the zoom) a position falls in.
std::pair<long long, long long> cellOf(double lat, double lon, int zoom)
{
    const double cells = std::ldexp(1.0, zoom + 2);
    double unitLon = std::fmod(lon + 180, 360) / 360;
    unitLon += unitLon < 0 ? 1 : 0;
    const auto index = [cells](double unit) {
        return std::clamp(static_cast<long long>(std::floor(unit * cells)), 0LL,
            static_cast<long long>(cells) - 1);
    };
    return {index(unitLon), index(toWorld(lat, 0).y)};
}

// Whether the view touches the crowd cell, on any copy of the world.
bool touches(const MapView &view, const std::pair<long long, long long> &cell)
{
    const double size = std::ldexp(1.0, -(view.zoom + 2));
    const auto overlaps = [size](long long index, double offset, double low, double high) {
        return index * size + offset <= high && (index + 1) * size + offset > low;
    };
    if (!overlaps(cell.second, 0, view.centre.y - view.halfHeight, view.centre.y + view.halfHeight))
        return false;
    if (view.halfWidth >= 0.5)
        return true;
    for (const double copy : {-1.0, 0.0, 1.0}) {
        if (overlaps(
                cell.first, copy, view.centre.x - view.halfWidth, view.centre.x + view.halfWidth))
            return true;
    }
    return false;
}

// Everyone in the cells the view touches, less the answer's people: what the crowds must say.
CellCounts crowdsByCounting(
    const MapView &view, const std::vector<PositionReport> &people, const NearestAnswer &answer)
{
    CellCounts counts;
    for (const auto &person : people) {
        const auto cell = cellOf(person.lat, person.lon, view.zoom);
        if (touches(view, cell))
            ++counts[cell];
    }
    for (const auto &person : answer.people)
        --counts[cellOf(person.lat, person.lon, view.zoom)];
    for (auto it = counts.begin(); it != counts.end();)
        it = it->second == 0 ? counts.erase(it) : std::next(it);
    return counts;
}

// The answer's crowds by cell; a cell named twice or counted 0 shows as a count of 0.
CellCounts crowdsOf(const NearestAnswer &answer, int zoom)
{
    CellCounts counts;
    for (const auto &crowd : answer.crowds) {
        auto [it, added] = counts.emplace(cellOf(crowd.lat, crowd.lon, zoom), crowd.count);
        if (!added || crowd.count == 0)
            it->second = 0;
    }
    return counts;
}

QString describe(const CellCounts &counts)
{
    QStringList cells;
    for (const auto &[cell, count] : counts)
        cells << QString("%1.%2:%3").arg(cell.first).arg(cell.second).arg(count);
    return cells.join(' ');
}

StoreStatus statusOf(std::function<void(PeopleStore::Done<StoreStatus>)> call)
{
    auto promise = std::make_shared<std::promise<StoreStatus>>();
    auto status = promise->get_future();
    call([promise](StoreStatus s) { promise->set_value(s); });
    return status.wait_for(std::chrono::seconds(10)) == std::future_status::ready
        ? status.get()
        : StoreStatus::Unavailable;
}

QString describe(const std::vector<ListedPerson> &people, std::size_t at)
{
    if (at >= people.size())
        return "nobody";
    return QString("%1,%2").arg(people[at].lat, 0, 'g', 12).arg(people[at].lon, 0, 'g', 12);
}

} // namespace

class TestRedisPeopleStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void regionColumnsOfAView_data();
    void regionColumnsOfAView();
    void nearestMatchesEmbedded_data();
    void nearestMatchesEmbedded();
    void sessionKeys_data();
    void sessionKeys();
    void hideAndForget();
    void silentPeopleAreDeleted();
    void silentPeopleLeaveTheCrowds();
    void instancesShareThePeople();
    void registrationSurvivesItsMasterKilled();
    void hangingClusterAnswers503ThenRecovers();
    void registrationWaitsWhereItsWriteLanded();

private:
    QUrl url(quint16 port, const QString &request, const QString &query) const
    {
        return instances[0]->url(port, request, query);
    }
    PosdAnswer get(
        quint16 port, const QString &request, const QString &query, int timeoutMs = 10000)
    {
        return httpGet(manager, url(port, request, query), timeoutMs);
    }

    std::unique_ptr<RedisClusterProcess> redis;
    QTemporaryDir folder;
    std::unique_ptr<EmbeddedPeopleStore> embedded;
    std::unique_ptr<Redis::RedisPeopleStore> clustered;
    std::int64_t nowMs = 0;
    std::vector<PositionReport> placed; // everyone of the crowd, each listable
    std::vector<std::unique_ptr<PosdProcess>> instances;
    std::vector<quint16> ports;
    QNetworkAccessManager manager;
};

void TestRedisPeopleStore::initTestCase()
{
    if (!RedisClusterProcess::available())
        QSKIP("redis-server and redis-cli are not installed");
    redis = std::make_unique<RedisClusterProcess>(3, 1);
    QVERIFY2(redis->error().isEmpty(), qPrintable(redis->error()));

    // One crowd in both stores: a dense city, people over the whole world, a cluster on the
    // antimeridian, some beyond Mercator's edge, a tight crowd and a spot 110 m wide that
    // views cut; half of them silent for two hours.
    EmbeddedStoreOptions options;
    options.writer.interval = std::chrono::milliseconds(50);
    embedded = std::make_unique<EmbeddedPeopleStore>(
        folder.filePath("people.db").toStdString(), options, UserListXml::renderProfile);
    clustered = std::make_unique<Redis::RedisPeopleStore>(
        Redis::RedisStoreConfig {redis->seeds().toStdString(), std::chrono::milliseconds(5000), 0},
        UserListXml::renderProfile);
    nowMs = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now().time_since_epoch())
                .count();
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(-1, 1);
    struct Spot
    {
        double lat, lon, spreadLat, spreadLon;
        int count;
    };
    const Spot spots[] = {{59.93, 30.31, 0.05, 0.1, 1500}, {0, 0, 80, 180, 600},
        {-16.5, 179.95, 0.3, 0.3, 200}, {87, 10, 2, 170, 60}, {-12.0, -60, 0.01, 0.01, 100},
        {84.5, 10, 0.4, 170, 60}, {-84.5, -100, 0.4, 170, 40}, {3.0, -10.0, 0.0005, 0.0005, 200}};
    std::vector<SetPosRequest> positions;
    Batch registrations;
    int n = 0;
    for (const auto &spot : spots) {
        for (int i = 0; i < spot.count; ++i, ++n) {
            RegisterRequest person;
            person.uid = numberedUid(n + 1);
            person.network = n % 2;
            person.id = "p" + std::to_string(n);
            person.name = "person " + std::to_string(n);
            embedded->registerPerson(person, registrations.add());
            clustered->registerPerson(person, registrations.add());
            double lon = spot.lon + spot.spreadLon * unit(random);
            lon = lon > 180 ? lon - 360 : lon < -180 ? lon + 360 : lon;
            positions.push_back({person.uid,
                std::clamp(spot.lat + spot.spreadLat * unit(random), -90.0, 90.0), lon, {}});
        }
    }
    QVERIFY(registrations.wait());
    Batch moves;
    for (std::size_t i = 0; i < positions.size(); ++i) {
        const std::int64_t seen = i % 2 ? nowMs : nowMs - 2 * 3600 * 1000;
        embedded->setPosition(positions[i], seen, moves.add());
        clustered->setPosition(positions[i], seen, moves.add());
    }
    QVERIFY(moves.wait());
    placed.assign(positions.begin(), positions.end());
}

void TestRedisPeopleStore::regionColumnsOfAView_data()
{
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("lon");
    QTest::addColumn<int>("zoom");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("columns");

    QTest::newRow("city") << 59.93 << 30.31 << 10 << 800 << 1;
    QTest::newRow("across the antimeridian") << -16.5 << 180.0 << 5 << 800 << 2;
    QTest::newRow("world but a sliver") << 59.93 << 30.31 << 3 << 2000 << 16;
    QTest::newRow("whole world") << 0.0 << 0.0 << 0 << 800 << 16;
}

void TestRedisPeopleStore::regionColumnsOfAView()
{
    QFETCH(double, lat);
    QFETCH(double, lon);
    QFETCH(int, zoom);
    QFETCH(int, width);
    QFETCH(int, columns);
    std::set<int> touched;
    for (const auto &region : Redis::regionsOf(Redis::boxOf(MapView(lat, lon, zoom, width))))
        touched.insert(region.x);
    QCOMPARE(static_cast<int>(touched.size()), columns);
}

void TestRedisPeopleStore::nearestMatchesEmbedded_data()
{
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("lon");
    QTest::addColumn<int>("zoom");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("limit");
    QTest::addColumn<bool>("recentOnly");

    QTest::newRow("city street") << 59.93 << 30.31 << 16 << 800 << 150 << false;
    QTest::newRow("city zoom 14") << 59.94 << 30.35 << 14 << 800 << 150 << false;
    QTest::newRow("city, recent only") << 59.93 << 30.31 << 12 << 800 << 150 << true;
    QTest::newRow("city from afar") << 55.0 << 25.0 << 5 << 800 << 150 << false;
    QTest::newRow("zoom 3") << 40.0 << 10.0 << 3 << 800 << 150 << true;
    QTest::newRow("world") << 0.0 << 0.0 << 0 << 800 << 150 << false;
    QTest::newRow("across the antimeridian") << -16.5 << -179.9 << 8 << 800 << 150 << false;
    QTest::newRow("beyond Mercator's edge") << 84.0 << 0.0 << 3 << 800 << 40 << false;
    QTest::newRow("empty ocean") << -45.0 << -120.0 << 9 << 800 << 150 << false;
    QTest::newRow("narrow view") << 59.93 << 30.31 << 11 << 64 << 150 << false;
    QTest::newRow("one pixel wide") << 59.93 << 30.31 << 9 << 1 << 150 << false;
    QTest::newRow("wide city view") << 59.95 << 30.3 << 12 << 4096 << 150 << false;
    QTest::newRow("wide across the antimeridian") << -16.6 << 179.9 << 9 << 4096 << 150 << false;
    QTest::newRow("tight crowd, few wanted") << -12.0 << -60.0 << 10 << 800 << 7 << false;
    QTest::newRow("ocean at zoom 2") << -60.0 << -150.0 << 2 << 300 << 150 << false;
    // Views a little narrower than the world: both edges fall in one region column.
    QTest::newRow("world but a sliver, zoom 1") << 59.93 << 30.31 << 1 << 500 << 150 << false;
    QTest::newRow("world but a sliver, zoom 2") << 59.93 << 30.31 << 2 << 1000 << 150 << false;
    QTest::newRow("world but a sliver, zoom 3") << 59.93 << 30.31 << 3 << 2000 << 150 << false;
    QTest::newRow("world but a sliver, zoom 4") << 59.93 << 30.31 << 4 << 4000 << 150 << false;
    QTest::newRow("world but a tile column") << 59.93 << 30.31 << 4 << 4090 << 150 << false;
    QTest::newRow("whole world at zoom 4") << 59.93 << 30.31 << 4 << 4096 << 150 << false;
    QTest::newRow("north pole") << 90.0 << 10.0 << 5 << 800 << 150 << false;
    QTest::newRow("south pole") << -90.0 << -100.0 << 5 << 800 << 150 << false;
    QTest::newRow("centre at 180") << -16.5 << 180.0 << 12 << 800 << 150 << false;
    QTest::newRow("centre at -180") << -16.5 << -180.0 << 12 << 800 << 150 << false;
    QTest::newRow("dense spot cut by the view's edges")
        << 3.0003 << -9.9994 << 19 << 800 << 20 << false;
    QTest::newRow("the world but a sliver inside one tile")
        << 0.0 << 0.703125 << 4 << 4090 << 150 << false;
}

void TestRedisPeopleStore::nearestMatchesEmbedded()
{
    QFETCH(double, lat);
    QFETCH(double, lon);
    QFETCH(int, zoom);
    QFETCH(int, width);
    QFETCH(int, limit);
    QFETCH(bool, recentOnly);
    NearestQuery query;
    query.view = MapView(lat, lon, zoom, width);
    query.limit = static_cast<std::size_t>(limit);
    query.seenSinceMs = recentOnly ? nowMs - 3600 * 1000 : 0;
    query.crowds = true;

    const NearestAnswer expected = nearestOf(*embedded, query);
    const NearestAnswer actual = nearestOf(*clustered, query);
    QCOMPARE(actual.status, StoreStatus::Done);
    QCOMPARE(actual.people.size(), expected.people.size());
    for (std::size_t i = 0; i < expected.people.size(); ++i) {
        const bool same = actual.people[i].lat == expected.people[i].lat
            && actual.people[i].lon == expected.people[i].lon
            && actual.people[i].seenMs == expected.people[i].seenMs && actual.people[i].profile
            && *actual.people[i].profile == *expected.people[i].profile;
        QVERIFY2(same,
            qPrintable(QString("at %1: %2 instead of %3")
                           .arg(i)
                           .arg(describe(actual.people, i), describe(expected.people, i))));
    }
    // The crowds: everyone of the view not in the answer, each in their cell, counted once.
    const CellCounts crowds = crowdsOf(actual, zoom);
    const CellCounts counted = crowdsByCounting(query.view, placed, actual);
    QVERIFY2(crowds == counted,
        qPrintable(QString("crowds %1\ninstead of %2").arg(describe(crowds), describe(counted))));
    const CellCounts embeddedCrowds = crowdsOf(expected, zoom);
    QVERIFY2(crowds == embeddedCrowds,
        qPrintable(QString("crowds %1\nthe embedded store's %2")
                       .arg(describe(crowds), describe(embeddedCrowds))));
}

void TestRedisPeopleStore::sessionKeys_data()
{
    QTest::addColumn<QString>("positionKey");
    QTest::addColumn<int>("positionStatus");
    QTest::addColumn<QString>("listKey");
    QTest::addColumn<int>("listStatus");

    const int done = static_cast<int>(StoreStatus::Done);
    const int bad = static_cast<int>(StoreStatus::BadKey);
    QTest::newRow("own key") << "own" << done << "own" << done;
    QTest::newRow("another installation's key") << "other" << bad << "other" << done;
    QTest::newRow("the key a new Register replaced") << "replaced" << bad << "replaced" << bad;
    QTest::newRow("a key never given") << "unknown" << bad << "unknown" << bad;
}

void TestRedisPeopleStore::sessionKeys()
{
    QFETCH(QString, positionKey);
    QFETCH(int, positionStatus);
    QFETCH(QString, listKey);
    QFETCH(int, listStatus);
    static int round = 0;
    ++round;
    const auto keyOf = [](int seed) {
        KeyHash hash {};
        for (std::size_t i = 0; i < hash.size(); ++i)
            hash[i] = static_cast<unsigned char>(seed * 31 + i);
        return hash;
    };
    std::map<QString, KeyHash> keys {{"replaced", keyOf(round * 10 + 1)},
        {"own", keyOf(round * 10 + 2)}, {"other", keyOf(round * 10 + 3)},
        {"unknown", keyOf(round * 10 + 4)}};
    RegisterRequest person;
    person.uid = numberedUid(70000 + 2 * round);
    person.id = "keyed" + std::to_string(round);
    RegisterRequest other = person;
    other.uid = numberedUid(70001 + 2 * round);
    other.id = "other" + std::to_string(round);
    // Both stores, the same answers. A second Register of the installation replaces its
    // first key.
    for (PeopleStore *store :
        {static_cast<PeopleStore *>(embedded.get()), static_cast<PeopleStore *>(clustered.get())}) {
        const char *which = store == clustered.get() ? "cluster" : "embedded";
        person.keyHash = keys["replaced"];
        QCOMPARE(
            statusOf([&](auto done) { store->registerPerson(person, done); }), StoreStatus::Done);
        person.keyHash = keys["own"];
        other.keyHash = keys["other"];
        for (const auto &registration : {person, other})
            QCOMPARE(statusOf([&](auto done) { store->registerPerson(registration, done); }),
                StoreStatus::Done);

        const PositionReport position {person.uid, -70.0, 100.0 + round, keys[positionKey]};
        const StoreStatus reported
            = statusOf([&](auto done) { store->setPosition(position, nowMs, done); });
        QVERIFY2(reported == static_cast<StoreStatus>(positionStatus), which);
        NearestQuery query;
        query.view = MapView(-70.0, 100.0 + round, 12);
        query.keyHash = keys[listKey];
        const NearestAnswer answer = nearestOf(*store, query);
        QVERIFY2(answer.status == static_cast<StoreStatus>(listStatus), which);
        if (answer.status == StoreStatus::Done)
            QVERIFY2(answer.people.size() == (reported == StoreStatus::Done ? 1u : 0u), which);
    }
}

void TestRedisPeopleStore::hideAndForget()
{
    KeyHash key {};
    key.fill(0xa5);
    KeyHash wrong {};
    wrong.fill(0x5a);
    RegisterRequest person;
    person.uid = numberedUid(75001);
    person.id = "private";
    person.keyHash = key;
    RegisterRequest second = person; // the same person on a second installation
    second.uid = numberedUid(75002);
    second.keyHash = wrong;
    // Both stores, the same answers; the cluster's writes each seen by a replica before the
    // answer, so its replicas are searched below too.
    Redis::RedisPeopleStore acknowledged(
        {redis->seeds().toStdString(), std::chrono::milliseconds(5000), 1},
        UserListXml::renderProfile);
    for (PeopleStore *store :
        {static_cast<PeopleStore *>(embedded.get()), static_cast<PeopleStore *>(&acknowledged)}) {
        const auto registerBoth = [&] {
            for (const auto &installation : {person, second})
                QCOMPARE(statusOf([&](auto done) { store->registerPerson(installation, done); }),
                    StoreStatus::Done);
        };
        const PositionReport position {person.uid, -75.0, -100.0, key};
        const auto report = [&] {
            return statusOf([&](auto done) { store->setPosition(position, nowMs, done); });
        };
        NearestQuery query;
        query.view = MapView(-75.0, -100.0, 10);
        query.crowds = true;
        query.limit = 1;
        // Listed or in a crowd: the store counts them either way.
        const auto counted = [&](PeopleStore *from) {
            const NearestAnswer answer = nearestOf(*from, query);
            std::size_t people = answer.status == StoreStatus::Done ? answer.people.size() : 99;
            for (const auto &crowd : answer.crowds)
                people += crowd.count;
            return people;
        };
        registerBoth();
        QCOMPARE(report(), StoreStatus::Done);
        QCOMPARE(counted(store), std::size_t(1));

        // Hidden: out of the lists and the crowds, positions refused until the next Register.
        QCOMPARE(statusOf([&](auto done) { store->hide(person.uid, wrong, done); }),
            StoreStatus::BadKey);
        QCOMPARE(counted(store), std::size_t(1));
        QCOMPARE(
            statusOf([&](auto done) { store->hide(person.uid, key, done); }), StoreStatus::Done);
        QCOMPARE(counted(store), std::size_t(0));
        QCOMPARE(report(), StoreStatus::Hidden);
        QCOMPARE(counted(store), std::size_t(0));
        registerBoth();
        QCOMPARE(report(), StoreStatus::Done);
        QCOMPARE(counted(store), std::size_t(1));

        // Forgotten, and no longer counted for monitoring.
        const auto people = [&] {
            auto promise = std::make_shared<std::promise<StoreCounts>>();
            auto counted = promise->get_future();
            store->counts(nowMs, [promise](StoreCounts counts) { promise->set_value(counts); });
            if (counted.wait_for(std::chrono::seconds(10)) != std::future_status::ready)
                return std::size_t(0);
            const StoreCounts counts = counted.get();
            return counts.status == StoreStatus::Done ? counts.people : std::size_t(0);
        };
        const std::size_t before = people();
        QVERIFY(before > 0);
        QCOMPARE(
            statusOf([&](auto done) { store->forget(person.uid, key, done); }), StoreStatus::Done);
        QCOMPARE(people(), before - 1);
        // Their keys went with them: a holder of one learns nothing more than from any other.
        QCOMPARE(report(), StoreStatus::BadKey);
        QCOMPARE(statusOf([&](auto done) {
            store->setPosition({second.uid, -75.0, -100.0, wrong}, nowMs, done);
        }),
            StoreStatus::BadKey);
        QCOMPARE(statusOf([&](auto done) { store->forget(person.uid, key, done); }),
            StoreStatus::BadKey);
        QCOMPARE(counted(store), std::size_t(0));
    }
    // Nothing of them left on any node of the cluster, replicas included.
    const QString tile = QString::fromStdString(Redis::Tile::of(-75.0, -100.0).name());
    const QStringList traces {"private", QString::fromStdString(person.uid.toHex()),
        QString::fromStdString(second.uid.toHex()), "a5a5a5a5", "5a5a5a5a"};
    for (int node = 0; node < redis->nodeCount(); ++node) {
        for (const auto &trace : traces) {
            const QString keys = redis->cli(node, {"--scan", "--pattern", "*" + trace + "*"});
            QVERIFY2(keys.isEmpty(), qPrintable(QString("node %1 keeps %2").arg(node).arg(keys)));
        }
        for (const char *set : {":g", ":s", ":m"}) {
            const QString score
                = redis->cli(node, {"ZSCORE", "{t:" + tile + "}" + set, "0:private"});
            QVERIFY2(score.isEmpty() || score.startsWith("MOVED"),
                qPrintable(QString("node %1 keeps %2 in %3").arg(node).arg(score, set)));
        }
    }
}

void TestRedisPeopleStore::silentPeopleAreDeleted()
{
    // Retention: a position deletes the people of its tile silent for longer, and a person and
    // installation nobody heard from expire in Redis.
    Redis::RedisStoreConfig config {
        redis->seeds().toStdString(), std::chrono::milliseconds(5000), 0};
    config.retainMs = 1500;
    Redis::RedisPeopleStore store(config, UserListXml::renderProfile);
    RegisterRequest silent;
    silent.uid = numberedUid(80001);
    silent.id = "silent";
    RegisterRequest active = silent;
    active.uid = numberedUid(80002);
    active.id = "active";
    for (const auto &person : {silent, active})
        QCOMPARE(
            statusOf([&](auto done) { store.registerPerson(person, done); }), StoreStatus::Done);
    const std::int64_t t0 = nowMs;
    QCOMPARE(statusOf([&](auto done) {
        store.setPosition({silent.uid, -33.90, 18.40, {}}, t0, done);
    }),
        StoreStatus::Done);
    QCOMPARE(statusOf([&](auto done) {
        store.setPosition({active.uid, -33.91, 18.41, {}}, t0 + 2000, done);
    }),
        StoreStatus::Done);
    NearestQuery query;
    query.view = MapView(-33.9, 18.4, 10);
    const NearestAnswer answer = nearestOf(store, query);
    QCOMPARE(answer.status, StoreStatus::Done);
    QCOMPARE(answer.people.size(), std::size_t(1));
    QCOMPARE(answer.people[0].lat, -33.91);
    // The person the clean-up took out of the tile reports again in it: listed again, though
    // their record still names the tile.
    QCOMPARE(statusOf([&](auto done) {
        store.setPosition({silent.uid, -33.92, 18.42, {}}, t0 + 2001, done);
    }),
        StoreStatus::Done);
    QCOMPARE(nearestOf(store, query).people.size(), std::size_t(2));
    // Nothing heard from the installation for longer than the retention: it expired (a
    // position would have renewed it, so the time has to pass unobserved).
    QTest::qWait(1800);
    QCOMPARE(statusOf([&](auto done) {
        store.setPosition({active.uid, -33.91, 18.41, {}}, t0, done);
    }),
        StoreStatus::UnknownUid);
    // Nor are they counted any more (everyone in the cluster is older than this retention),
    // once the clock has passed the times the positions above gave.
    const auto wallMs = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::system_clock::now().time_since_epoch())
            .count();
    };
    while (wallMs() <= t0 + 2001 + config.retainMs)
        QTest::qWait(50);
    auto promise = std::make_shared<std::promise<StoreCounts>>();
    auto counted = promise->get_future();
    store.counts(nowMs, [promise](StoreCounts counts) { promise->set_value(counts); });
    QCOMPARE(counted.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    const StoreCounts counts = counted.get();
    QCOMPARE(counts.status, StoreStatus::Done);
    QCOMPARE(counts.people, std::size_t(0));
}

void TestRedisPeopleStore::silentPeopleLeaveTheCrowds()
{
    // Crowd cells count whom a list would show, as the embedded store's grid does: someone
    // silent for longer than forgetMs (yet kept until retention) leaves the cells, and their
    // next position brings them back.
    Redis::RedisStoreConfig config {
        redis->seeds().toStdString(), std::chrono::milliseconds(5000), 0};
    config.forgetMs = 3600 * 1000;
    Redis::RedisPeopleStore store(config, UserListXml::renderProfile);
    const std::int64_t seen[] = {nowMs - 2 * 3600 * 1000, nowMs, nowMs};
    std::vector<PositionReport> positions;
    for (int i = 0; i < 3; ++i) {
        RegisterRequest person;
        person.uid = numberedUid(80101 + i);
        person.id = "crowd " + std::to_string(i);
        QCOMPARE(
            statusOf([&](auto done) { store.registerPerson(person, done); }), StoreStatus::Done);
        positions.push_back({person.uid, 47.37 + i * 1e-5, 8.54, {}});
        QCOMPARE(statusOf([&](auto done) { store.setPosition(positions.back(), seen[i], done); }),
            StoreStatus::Done);
    }
    NearestQuery query;
    query.view = MapView(47.37, 8.54, 16);
    query.limit = 1;
    query.seenSinceMs = nowMs - config.forgetMs;
    query.crowds = true;
    const auto counted = [&] {
        const NearestAnswer answer = nearestOf(store, query);
        std::size_t people = answer.people.size();
        for (const Crowd &crowd : answer.crowds)
            people += crowd.count;
        return answer.status == StoreStatus::Done ? people : 0;
    };
    QCOMPARE(counted(), std::size_t(2));
    QCOMPARE(statusOf([&](auto done) { store.setPosition(positions[0], nowMs, done); }),
        StoreStatus::Done);
    QCOMPARE(counted(), std::size_t(3));
}

void TestRedisPeopleStore::instancesShareThePeople()
{
    // Two stateless instances: Register on one, a position on the other, the first lists it.
    clustered.reset();
    embedded.reset();
    for (int i = 0; i < 2; ++i) {
        instances.push_back(std::make_unique<PosdProcess>(folder.filePath("unused.db"),
            QStringList {
                "--redis", redis->seeds(), "--redis-timeout-ms", QString::number(RedisTimeoutMs)}));
        ports.push_back(instances.back()->waitForPort());
        QVERIFY(ports.back());
    }
    QCOMPARE(get(ports[0], "Register", testRegisterQuery(90001)).status, 200);
    QCOMPARE(get(ports[1], "SetPos", testPosQuery(90001, 48.8566, 2.3522)).status, 200);
    const PosdAnswer answer = get(ports[0], "GetUsers", "lat=48.85&lon=2.35&zoomlevel=13");
    QCOMPARE(answer.status, 200);
    QVector<ListedUser> users;
    QVERIFY(readUserList(answer.body, users));
    QCOMPARE(users.size(), 1);
    QCOMPARE(users[0].lat, 48.8566);
    QCOMPARE(users[0].lon, 2.3522);
    QCOMPARE(users[0].name, QString("n90001"));
    QVERIFY(users[0].online);
    // A later move on the first instance is what the second lists.
    QCOMPARE(get(ports[0], "SetPos", testPosQuery(90001, 48.86, 2.36)).status, 200);
    QVERIFY(readUserList(get(ports[1], "GetUsers", "lat=48.85&lon=2.35&zoomlevel=13").body, users));
    QCOMPARE(users.size(), 1);
    QCOMPARE(users[0].lat, 48.86);
}

void TestRedisPeopleStore::registrationSurvivesItsMasterKilled()
{
    QVERIFY(ports.size() == 2);
    // The registration is answered once a replica has it; its master killed right after the
    // 200 loses nothing once the replica has taken over.
    const int person = 90002;
    QCOMPARE(get(ports[0], "Register", testRegisterQuery(person)).status, 200);
    const int master = redis->masterOfKey(QString("{p:0:%1}").arg(person));
    QVERIFY(master >= 0);
    redis->kill(master);
    QElapsedTimer sinceKill;
    sinceKill.start();

    // While the master is down its slots answer 503 quickly; then the replica serves them,
    // without a restart of the service.
    const QString move = testPosQuery(person, 35.68, 139.69);
    int downAnswers = 0;
    qint64 servedAfterMs = -1;
    while (sinceKill.elapsed() < 20000) {
        QElapsedTimer one;
        one.start();
        const PosdAnswer answer = get(ports[1], "SetPos", move);
        QVERIFY2(one.elapsed() < RedisTimeoutMs * 3 + AnswerSlackMs,
            qPrintable(QString("answered after %1 ms").arg(one.elapsed())));
        if (answer.status == 200) {
            servedAfterMs = sinceKill.elapsed();
            break;
        }
        QCOMPARE(answer.status, 503);
        ++downAnswers;
        QThread::msleep(50);
    }
    QVERIFY2(servedAfterMs >= 0, "the slots were not served again within 20 s");
    qInfo("served again %lld ms after the master was killed (%d answers 503 before)", servedAfterMs,
        downAnswers);
    QVector<ListedUser> users;
    QVERIFY(
        readUserList(get(ports[0], "GetUsers", "lat=35.68&lon=139.69&zoomlevel=15").body, users));
    QCOMPARE(users.size(), 1);
    QCOMPARE(users[0].name, QString("n%1").arg(person));
    // The killed node comes back as a replica, so the cluster again has one for every master.
    QVERIFY(redis->restart(master));
    QVERIFY(redis->waitUntilOk(20000));
}

void TestRedisPeopleStore::hangingClusterAnswers503ThenRecovers()
{
    QVERIFY(ports.size() == 2);
    const int person = 90003;
    QCOMPARE(get(ports[0], "Register", testRegisterQuery(person)).status, 200);
    for (int node = 0; node < redis->nodeCount(); ++node)
        redis->pause(node);
    const char *requests[][2]
        = {{"SetPos", nullptr}, {"GetUsers", "lat=1&lon=1&zoomlevel=12"}, {"Register", nullptr}};
    for (const auto &request : requests) {
        const QString query = request[1]      ? QString(request[1])
            : QString(request[0]) == "SetPos" ? testPosQuery(person, 1, 1)
                                              : testRegisterQuery(person);
        QElapsedTimer one;
        one.start();
        const PosdAnswer answer = get(ports[1], request[0], query);
        QCOMPARE(answer.status, 503);
        QVERIFY2(one.elapsed() < RedisTimeoutMs * 2 + AnswerSlackMs,
            qPrintable(QString("%1 answered after %2 ms").arg(request[0]).arg(one.elapsed())));
    }
    for (int node = 0; node < redis->nodeCount(); ++node)
        redis->resume(node);
    // Back by itself: the same connections, or new ones after the map was read again.
    QElapsedTimer sinceResume;
    sinceResume.start();
    int status = 0;
    while (sinceResume.elapsed() < 20000) {
        status = get(ports[1], "SetPos", testPosQuery(person, 1, 1)).status;
        if (status == 200)
            break;
        QThread::msleep(100);
    }
    QCOMPARE(status, 200);
    QVector<ListedUser> users;
    QVERIFY(readUserList(get(ports[0], "GetUsers", "lat=1&lon=1&zoomlevel=12").body, users));
    QCOMPARE(users.size(), 1);
}

void TestRedisPeopleStore::registrationWaitsWhereItsWriteLanded()
{
    QVERIFY(ports.size() == 2);
    // A person whose slot holds no key yet, moved to another master behind the services'
    // backs: their Register's write is redirected there by MOVED. With that master's replica
    // hanging, the WAIT must say so, wherever the first attempt went.
    // The masters now: an earlier test's failover has swapped a master and its replica.
    std::vector<int> masters;
    for (int node = 0; node < redis->nodeCount(); ++node) {
        if (redis->cli(node, {"INFO", "replication"}).contains("role:master"))
            masters.push_back(node);
    }
    QCOMPARE(masters.size(), std::size_t(3));
    int person = 95000;
    QString slot;
    int from = -1;
    int to = -1;
    for (;; ++person) {
        const QString key = QString("{p:0:%1}").arg(person);
        slot = redis->cli(masters[0], {"CLUSTER", "KEYSLOT", key});
        from = redis->masterOfKey(key);
        if (from < 0 || redis->cli(from, {"CLUSTER", "COUNTKEYSINSLOT", slot}) != "0")
            continue;
        to = masters[0] == from ? masters[1] : masters[0];
        const QString uidKey
            = QString("{u:%1000040008000000000000000}").arg(person, 8, 16, QLatin1Char('0'));
        if (redis->masterOfKey(uidKey) != to)
            break;
    }
    const QString target = redis->nodeId(to);
    QCOMPARE(redis->cli(to, {"CLUSTER", "SETSLOT", slot, "IMPORTING", redis->nodeId(from)}),
        QString("OK"));
    QCOMPARE(redis->cli(from, {"CLUSTER", "SETSLOT", slot, "MIGRATING", target}), QString("OK"));
    std::vector<int> order {to, from};
    for (const int node : masters) {
        if (node != to && node != from)
            order.push_back(node);
    }
    for (const int node : order)
        QCOMPARE(redis->cli(node, {"CLUSTER", "SETSLOT", slot, "NODE", target}), QString("OK"));
    int replica = -1;
    for (int node = 0; node < redis->nodeCount(); ++node) {
        if (node != to && redis->cli(node, {"CLUSTER", "MYID"}) != target
            && redis->cli(node, {"INFO", "replication"})
                   .contains(QString("master_port:%1").arg(redis->port(to))))
            replica = node;
    }
    QVERIFY(replica >= 0);
    redis->pause(replica);
    const int status = get(ports[0], "Register", testRegisterQuery(person)).status;
    redis->resume(replica);
    QCOMPARE(status, 503);
    QVERIFY(redis->waitUntilOk(20000));
    QCOMPARE(get(ports[0], "Register", testRegisterQuery(person)).status, 200);
}

QTEST_GUILESS_MAIN(TestRedisPeopleStore)
#include "tst_redispeoplestore.moc"
