#include "embedded/presencemodel.h"
#include "store/peoplestore.h"

#include <QtTest>

#include <map>
#include <random>

using namespace Pinrova::Server;

namespace {

Uuid uidOf(std::uint32_t n)
{
    Uuid uid;
    for (int i = 0; i < 4; ++i)
        uid.bytes[i] = static_cast<std::uint8_t>(n >> (8 * i));
    uid.bytes[15] = 1;
    return uid;
}

} // namespace

class TestPresenceModel : public QObject
{
    Q_OBJECT

private slots:
    void answersAndCountsFollowAScanOfEveryone_data();
    void answersAndCountsFollowAScanOfEveryone();
};

void TestPresenceModel::answersAndCountsFollowAScanOfEveryone_data()
{
    QTest::addColumn<double>("spread"); // degrees around the city the people are drawn from
    QTest::addColumn<qint64>("maxStepMs"); // time between two steps at most
    QTest::addColumn<qint64>("onlineMs");
    QTest::addColumn<qint64>("forgetMs");

    QTest::newRow("a city, most people recent")
        << 0.3 << qint64(200) << qint64(60000) << qint64(3600 * 1000);
    QTest::newRow("a city, most people forgotten, some coming back")
        << 0.3 << qint64(4000) << qint64(20000) << qint64(60000);
    QTest::newRow("the world, people forgotten while others walk the grid")
        << 180.0 << qint64(2000) << qint64(5000) << qint64(30000);
}

// Reports, forgetting, sweeps and the online count's window moving, against a plain record of
// every person: the lists and counts must be what a scan of everyone gives.
void TestPresenceModel::answersAndCountsFollowAScanOfEveryone()
{
    QFETCH(double, spread);
    QFETCH(qint64, maxStepMs);
    QFETCH(qint64, onlineMs);
    QFETCH(qint64, forgetMs);

    struct Shadow
    {
        double lat = 0;
        double lon = 0;
        std::int64_t timeMs = 0;
        bool located = false;
        std::int64_t registeredMs = 0;
    };
    constexpr std::uint32_t People = 3000;
    const std::int64_t retainMs = 6 * forgetMs;
    std::mt19937 random(11);
    std::uniform_real_distribution<double> offset(-spread, spread);
    std::uniform_int_distribution<std::int64_t> step(0, maxStepMs);
    std::uniform_int_distribution<std::uint32_t> anyone(1, People);
    const auto place = [&](double &lat, double &lon) {
        lat = std::clamp(59.94 + offset(random), -90.0, 90.0);
        lon = 30.31 + offset(random);
        lon = lon > 180 ? lon - 360 : (lon < -180 ? lon + 360 : lon);
    };

    PresenceModel model;
    std::map<std::int64_t, Shadow> people;
    std::int64_t now = 1700000000000;
    const auto enrol = [&](std::uint32_t id) {
        model.applyRegistration(
            uidOf(id), id, std::make_shared<const std::string>(std::to_string(id)), now);
        people[id].registeredMs = now;
    };
    for (std::uint32_t id = 1; id <= People; ++id)
        enrol(id);
    // Half of them read back from the file, their times in no order.
    std::uniform_int_distribution<std::int64_t> age(0, 2 * forgetMs);
    for (std::uint32_t id = 1; id <= People; id += 2) {
        Shadow &shadow = people[id];
        place(shadow.lat, shadow.lon);
        shadow.timeMs = now - age(random);
        shadow.located = true;
        model.restorePosition(id, shadow.lat, shadow.lon, shadow.timeMs);
    }

    for (int round = 0; round < 60; ++round) {
        for (int i = 0; i < 400; ++i) {
            now += step(random);
            const std::uint32_t id = anyone(random);
            if (!people.count(id))
                enrol(id); // swept, and back
            double lat;
            double lon;
            place(lat, lon);
            QCOMPARE(model.setPosition(uidOf(id), lat, lon, now), PresenceModel::Update::Stored);
            people[id] = {lat, lon, now, true, people[id].registeredMs};
        }
        model.forgetSilent(now - forgetMs);
        if (round % 10 == 9) {
            const auto removed = model.removeSilent(now - retainMs);
            for (const auto id : removed)
                people.erase(id);
        }
        model.takeChangedPositions();

        std::size_t online = 0;
        std::size_t listable = 0;
        for (const auto &[id, shadow] : people) {
            online += shadow.located && shadow.timeMs >= now - onlineMs;
            listable += shadow.located && shadow.timeMs >= now - forgetMs;
        }
        QCOMPARE(model.onlineCount(now - onlineMs), online);
        // The forgotten are out of the grid, whose counts then mean people a list may show.
        QCOMPARE(model.listedCount(), listable);

        for (const int zoom : {3, 9, 13}) {
            double lat;
            double lon;
            place(lat, lon);
            NearestQuery query;
            query.view = MapView(lat, lon, zoom);
            query.seenSinceMs = now - forgetMs;
            query.limit = 150;
            std::vector<std::pair<std::pair<double, std::int64_t>, std::int64_t>> all;
            for (const auto &[id, shadow] : people) {
                const WorldPoint point = toWorld(shadow.lat, shadow.lon);
                if (shadow.located && shadow.timeMs >= query.seenSinceMs
                    && query.view.contains(point))
                    all.push_back({{query.view.distanceSquared(point), id}, id});
            }
            std::sort(all.begin(), all.end());
            all.resize(std::min(all.size(), query.limit));
            const auto listed = model.nearest(query);
            QCOMPARE(listed.size(), all.size());
            for (std::size_t k = 0; k < listed.size(); ++k)
                QCOMPARE(*listed[k].profile, std::to_string(all[k].second));
        }
    }
    QCOMPARE(model.personCount(), people.size());
}

QTEST_APPLESS_MAIN(TestPresenceModel)
#include "tst_presencemodel.moc"
