// The embedded store's costs that must not grow with what a hostile client or time does to
// it: one SetPos among uids chosen to collide, a zoomed-out list among people long silent,
// and the counts behind a /metrics scrape. QtTest benchmarks on the presence model itself,
// each pair of rows measured in one run so their ratio holds on a busy machine.
#include "base/limits.h"
#include "embedded/crowdtally.h"
#include "embedded/presencemodel.h"
#include "embedded/spatialgrid.h"
#include "store/peoplestore.h"

#include <QtTest>

#include <cstring>
#include <memory>
#include <random>

using namespace Pinrova::Server;

namespace {

constexpr std::int64_t Now = 1700000000000;

// The city of the zoom sweep: 59.94 ± 0.3, 30.31 ± 1.18.
void cityPoint(std::mt19937 &random, double &lat, double &lon)
{
    std::uniform_real_distribution<double> unit(-1, 1);
    lat = 59.94 + 0.3 * unit(random);
    lon = 30.31 + 1.18 * unit(random);
}

// Uids that all had one hash value under the earlier table hash, a ^ (b * K) over the two
// halves: any b, with a chosen to match.
std::vector<Uuid> craftedUids(std::size_t count, std::mt19937_64 &random)
{
    std::vector<Uuid> uids(count);
    for (auto &uid : uids) {
        const std::uint64_t b = random();
        const std::uint64_t a = 0x0123456789abcdefULL ^ (b * 0x9e3779b97f4a7c15ULL);
        std::memcpy(uid.bytes.data(), &a, 8);
        std::memcpy(uid.bytes.data() + 8, &b, 8);
    }
    return uids;
}

std::vector<Uuid> randomUids(std::size_t count, std::mt19937_64 &random)
{
    std::vector<Uuid> uids(count);
    for (auto &uid : uids) {
        const std::uint64_t a = random();
        const std::uint64_t b = random();
        std::memcpy(uid.bytes.data(), &a, 8);
        std::memcpy(uid.bytes.data() + 8, &b, 8);
    }
    return uids;
}

} // namespace

class BenchEmbeddedStore : public QObject
{
    Q_OBJECT

private slots:
    void setPosAmongManyUids_data();
    void setPosAmongManyUids();
    void zoomedOutList_data();
    void zoomedOutList();
    void metricsCounts_data();
    void metricsCounts();
    void worldCrowds_data();
    void worldCrowds();

private:
    std::unique_ptr<SpatialGrid> world; // built once for every row of worldCrowds
    std::vector<WorldPoint> worldPoints; // by entry
};

void BenchEmbeddedStore::setPosAmongManyUids_data()
{
    QTest::addColumn<bool>("crafted");
    QTest::newRow("60,000 random uids") << false;
    QTest::newRow("60,000 crafted uids") << true;
}

// One SetPos, with 60,000 uids registered (one person each, as an attacker must to stay
// under the bound on a person's uids).
void BenchEmbeddedStore::setPosAmongManyUids()
{
    QFETCH(bool, crafted);
    constexpr std::size_t Count = 60000;
    std::mt19937_64 random(5);
    const auto uids = crafted ? craftedUids(Count, random) : randomUids(Count, random);
    PresenceModel model;
    const auto profile = std::make_shared<const std::string>("<User/>");
    for (std::size_t i = 0; i < Count; ++i)
        model.applyRegistration(uids[i], static_cast<std::int64_t>(i + 1), profile, Now);
    std::size_t next = 0;
    QBENCHMARK
    {
        const Uuid &uid = uids[next];
        next = (next + 7919) % Count;
        if (model.setPosition(uid, 59.94, 30.31, Now) != PresenceModel::Update::Stored)
            QFAIL("not stored");
        if (model.pendingCount() > 1000)
            model.takeChangedPositions();
    }
}

void BenchEmbeddedStore::zoomedOutList_data()
{
    QTest::addColumn<int>("recentEvery"); // one person in this many reported within the window
    QTest::newRow("1,000,000 people, everyone recent") << 1;
    QTest::newRow("1,000,000 people, 99.99 % forgotten") << 10000;
}

// GetUsers at zoom 3 over the city, as the query threads build it, after the writer's
// interval has taken those silent past the forget window out of the grid.
void BenchEmbeddedStore::zoomedOutList()
{
    QFETCH(int, recentEvery);
    constexpr std::int64_t People = 1000000;
    std::mt19937 random(3);
    PresenceModel model;
    const auto profile = std::make_shared<const std::string>("<User/>");
    for (std::int64_t id = 1; id <= People; ++id) {
        double lat;
        double lon;
        cityPoint(random, lat, lon);
        model.setProfile(id, profile, Now);
        model.restorePosition(
            id, lat, lon, id % recentEvery == 0 ? Now : Now - 2 * Limits::ForgetMs);
    }
    model.forgetSilent(Now - Limits::ForgetMs);
    NearestQuery query;
    query.view = MapView(59.94, 30.31, 3);
    query.seenSinceMs = Now - Limits::ForgetMs;
    std::size_t listed = 0;
    QBENCHMARK
    {
        listed = model.nearest(query).size();
    }
    QVERIFY(listed == std::min<std::size_t>(Limits::MaxUsers, People / recentEvery));
}

void BenchEmbeddedStore::metricsCounts_data()
{
    QTest::addColumn<int>("people");
    QTest::newRow("10,000 people") << 10000;
    QTest::newRow("1,000,000 people") << 1000000;
}

// What a /metrics scrape asks of the embedded store: people, online and pending. A tenth of
// the people reported within the online window.
void BenchEmbeddedStore::metricsCounts()
{
    QFETCH(int, people);
    std::mt19937 random(9);
    PresenceModel model;
    const auto profile = std::make_shared<const std::string>("<User/>");
    for (std::int64_t id = 1; id <= people; ++id) {
        double lat;
        double lon;
        cityPoint(random, lat, lon);
        model.setProfile(id, profile, Now);
        model.restorePosition(id, lat, lon, id % 10 == 0 ? Now : Now - 3600 * 1000);
    }
    // The first count after a start links the people read back and counts them once; the
    // scrapes after it are what is measured.
    std::size_t online = model.onlineCount(Now - Limits::OnlineMs);
    QBENCHMARK
    {
        online = model.personCount() + model.onlineCount(Now - Limits::OnlineMs)
            + model.pendingCount();
    }
    QVERIFY(online >= std::size_t(people / 10));
}

void BenchEmbeddedStore::worldCrowds_data()
{
    QTest::addColumn<int>("zoom");
    QTest::addColumn<bool>("crowds"); // the crowd count, else the list of 150
    for (const int zoom : {10, 5, 3, 2}) {
        QTest::newRow(qPrintable(QString("zoom %1, list").arg(zoom))) << zoom << false;
        QTest::newRow(qPrintable(QString("zoom %1, crowds").arg(zoom))) << zoom << true;
    }
}

// 200 random views over 1,000,000 people spread over the world as the zoom sweep's world
// (latitudes within 80, all longitudes), on the grid alone: its crowd count against its list.
void BenchEmbeddedStore::worldCrowds()
{
    QFETCH(int, zoom);
    QFETCH(bool, crowds);
    constexpr std::uint32_t People = 1000000;
    std::mt19937 random(11);
    std::uniform_real_distribution<double> unit(-1, 1);
    if (!world) {
        world = std::make_unique<SpatialGrid>();
        for (std::uint32_t entry = 0; entry < People; ++entry) {
            const double lat = 80 * unit(random);
            worldPoints.push_back(toWorld(lat, 180 * unit(random)));
            world->insert(entry, worldPoints.back());
        }
    }
    std::vector<MapView> views;
    for (int i = 0; i < 200; ++i) {
        const double lat = 80 * unit(random);
        views.emplace_back(lat, 180 * unit(random), zoom);
    }
    std::size_t found = 0;
    std::vector<std::uint32_t> out;
    QBENCHMARK
    {
        for (const MapView &view : views) {
            if (crowds) {
                CrowdTally tally(view);
                world->countCrowds(tally);
                found += tally.crowds().size();
            } else {
                out.clear();
                world->nearest(
                    view, Limits::MaxUsers,
                    [&](std::uint32_t entry, SpatialGrid::Rank &rank) {
                        const WorldPoint &point = worldPoints[entry];
                        if (!view.contains(point))
                            return false;
                        rank.distance = view.distanceSquared(point);
                        rank.tie = entry;
                        return true;
                    },
                    out);
                found += out.size();
            }
        }
    }
    QVERIFY(found > 0);
}

QTEST_APPLESS_MAIN(BenchEmbeddedStore)
#include "bench_embeddedstore.moc"
