#include "store/mapprojection.h"
#include "store/peoplestore.h"
#include "embedded/crowdtally.h"
#include "embedded/spatialgrid.h"

#include <QtTest>

#include <random>
#include <set>

using namespace Pinrova::Server;

class TestSpatialGrid : public QObject
{
    Q_OBJECT

private slots:
    void findsWhatABruteForceScanFinds_data();
    void findsWhatABruteForceScanFinds();
    void removalKeepsTheOthers();
    void countsABlockOfMoreThan65535();
};

void TestSpatialGrid::findsWhatABruteForceScanFinds_data()
{
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("lon");
    QTest::addColumn<double>("spread"); // degrees around the centre the points are drawn from
    QTest::addColumn<int>("places"); // distinct points; fewer than the entries gives ties

    QTest::newRow("city") << 59.94 << 30.31 << 0.3 << 3000;
    QTest::newRow("across the antimeridian") << -16.5 << 179.95 << 0.5 << 3000;
    QTest::newRow("near the pole, beyond the map's edge") << 88.0 << 10.0 << 4.0 << 3000;
    QTest::newRow("near -85, beyond the map's edge") << -85.0 << -120.0 << 2.0 << 3000;
    QTest::newRow("whole world") << 0.0 << 0.0 << 180.0 << 3000;
    QTest::newRow("people sharing 40 places, ties by id") << 59.94 << 30.31 << 0.05 << 40;
}

void TestSpatialGrid::findsWhatABruteForceScanFinds()
{
    QFETCH(double, lat);
    QFETCH(double, lon);
    QFETCH(double, spread);
    QFETCH(int, places);

    std::mt19937 random(7);
    std::uniform_real_distribution<double> offset(-spread, spread);
    const auto wrapLon = [](double x) { return x > 180 ? x - 360 : (x < -180 ? x + 360 : x); };
    std::vector<WorldPoint> spots;
    for (int i = 0; i < places; ++i) {
        const double la = std::clamp(lat + offset(random), -90.0, 90.0);
        spots.push_back(toWorld(la, wrapLon(lon + offset(random))));
    }
    std::vector<WorldPoint> points;
    std::vector<std::int64_t> ids; // ties go by these, which are not in entry order
    std::vector<SpatialGrid::Slot> held;
    SpatialGrid grid;
    for (std::uint32_t i = 0; i < 3000; ++i) {
        points.push_back(spots[i % spots.size()]);
        ids.push_back((i * 7919) % 3001);
        held.push_back(grid.insert(i, points.back()));
    }
    // Every third entry moves to another place, as reports do: out of its cell, often out of
    // its block, leaving some empty.
    for (std::uint32_t i = 0; i < points.size(); i += 3) {
        const auto moved = grid.remove(held[i]);
        if (moved != UINT32_MAX)
            held[moved].index = held[i].index;
        points[i] = spots[(i * 13 + 5) % spots.size()];
        held[i] = grid.insert(i, points[i]);
    }
    // Every fifth moves a little within its cell, as most reports do.
    for (std::uint32_t i = 1; i < points.size(); i += 5) {
        const WorldPoint nudged {points[i].x + 1e-6, points[i].y};
        if (SpatialGrid::cellOf(nudged) != held[i].cell)
            continue;
        points[i] = nudged;
        grid.move(held[i], nudged);
    }
    QCOMPARE(grid.entryCount(), points.size());
    const auto sameCrowds = [](const std::vector<Crowd> &a, const std::vector<Crowd> &b) {
        return std::equal(
            a.begin(), a.end(), b.begin(), b.end(), [](const Crowd &x, const Crowd &y) {
                return x.lat == y.lat && x.lon == y.lon && x.count == y.count;
            });
    };
    for (int zoom = 0; zoom <= 20; ++zoom) {
        for (int view = 0; view < 20; ++view) {
            const double la = std::clamp(lat + offset(random) / 4, -90.0, 90.0);
            const MapView mapView(la, wrapLon(lon + offset(random) / 4), zoom);
            const std::size_t limit = view % 2 ? 150 : 7;
            std::vector<std::pair<std::pair<double, std::int64_t>, std::uint32_t>> all;
            for (std::uint32_t i = 0; i < points.size(); ++i) {
                if (mapView.contains(points[i]))
                    all.push_back({{mapView.distanceSquared(points[i]), ids[i]}, i});
            }
            std::sort(all.begin(), all.end());
            std::vector<std::uint32_t> expected;
            for (std::size_t i = 0; i < std::min(limit, all.size()); ++i)
                expected.push_back(all[i].second);

            std::vector<std::uint32_t> found;
            grid.nearest(
                mapView, limit,
                [&](std::uint32_t i, SpatialGrid::Rank &rank) {
                    if (!mapView.contains(points[i]))
                        return false;
                    rank.distance = mapView.distanceSquared(points[i]);
                    rank.tie = ids[i];
                    return true;
                },
                found);
            QVERIFY2(found == expected,
                qPrintable(QString("zoom %1, view %2: %3 found, %4 expected")
                               .arg(zoom)
                               .arg(view)
                               .arg(found.size())
                               .arg(expected.size())));

            // The people of the view's crowd cells, from the pyramid, as one by one.
            CrowdTally scanned(mapView);
            for (const auto &point : points)
                scanned.addPoint(point, 1);
            std::size_t inView = 0;
            for (const auto &crowd : scanned.crowds())
                inView += crowd.count;
            CrowdTally counted(mapView);
            grid.countCrowds(counted);
            const auto crowds = counted.crowds();
            std::size_t total = 0;
            for (const auto &crowd : crowds)
                total += crowd.count;
            QVERIFY2(sameCrowds(crowds, scanned.crowds()) && total == inView,
                qPrintable(QString("zoom %1, view %2: %3 crowd cells holding %4, %5 expected "
                                   "holding %6")
                               .arg(zoom)
                               .arg(view)
                               .arg(crowds.size())
                               .arg(total)
                               .arg(scanned.crowds().size())
                               .arg(inView)));
        }
    }
}

void TestSpatialGrid::removalKeepsTheOthers()
{
    SpatialGrid grid;
    const WorldPoint point = toWorld(59.94, 30.31);
    std::vector<SpatialGrid::Slot> places;
    for (std::uint32_t i = 0; i < 5; ++i)
        places.push_back(grid.insert(i, point));
    // Removing entry 1 moves the last entry (4) into its place.
    QCOMPARE(grid.remove(places[1]), 4u);
    places[4].index = places[1].index;
    QCOMPARE(grid.remove(places[4]), 3u);
    places[3].index = places[4].index;

    std::vector<std::uint32_t> left;
    grid.nearest(
        MapView(59.94, 30.31, 15), 10,
        [](std::uint32_t i, SpatialGrid::Rank &rank) {
            rank.tie = i;
            return true;
        },
        left);
    QCOMPARE(left, (std::vector<std::uint32_t> {0, 2, 3}));
    QCOMPARE(grid.entryCount(), std::size_t(3));
}

// 70,000 people on one spot and one more in another block of the same zoom-10 tile, with the
// view's crowd cells ending between the two.
void TestSpatialGrid::countsABlockOfMoreThan65535()
{
    SpatialGrid grid;
    constexpr std::uint32_t Crowd = 70000;
    for (std::uint32_t i = 0; i < Crowd; ++i)
        grid.insert(i, toWorld(59.94, 30.31));
    grid.insert(Crowd, toWorld(59.94, 30.50));
    // Zoom 9, 800 pixels wide: the right edge at 30.36, in the crowd cell 30.23-30.41.
    const MapView view(59.94, 30.36 - 400.0 * 360 / (256 << 9), 9);
    CrowdTally tally(view);
    grid.countCrowds(tally);
    std::size_t total = 0;
    for (const auto &crowd : tally.crowds())
        total += crowd.count;
    QCOMPARE(total, std::size_t(Crowd));
}

QTEST_APPLESS_MAIN(TestSpatialGrid)
#include "tst_spatialgrid.moc"
