#include "mapprojection.h"
#include "spatialgrid.h"

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
};

void TestSpatialGrid::findsWhatABruteForceScanFinds_data()
{
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("lon");
    QTest::addColumn<double>("spread"); // degrees around the centre the points are drawn from

    QTest::newRow("city") << 59.94 << 30.31 << 0.3;
    QTest::newRow("across the antimeridian") << -16.5 << 179.95 << 0.5;
    QTest::newRow("near the pole, beyond the map's edge") << 88.0 << 10.0 << 4.0;
    QTest::newRow("whole world") << 0.0 << 0.0 << 180.0;
}

void TestSpatialGrid::findsWhatABruteForceScanFinds()
{
    QFETCH(double, lat);
    QFETCH(double, lon);
    QFETCH(double, spread);

    std::mt19937 random(7);
    std::uniform_real_distribution<double> offset(-spread, spread);
    const auto wrapLon = [](double x) { return x > 180 ? x - 360 : (x < -180 ? x + 360 : x); };
    std::vector<WorldPoint> points;
    SpatialGrid grid;
    for (std::uint32_t i = 0; i < 3000; ++i) {
        const double la = std::clamp(lat + offset(random), -90.0, 90.0);
        points.push_back(toWorld(la, wrapLon(lon + offset(random))));
        grid.insert(i, points.back());
    }
    for (int zoom = 0; zoom <= 20; ++zoom) {
        for (int view = 0; view < 20; ++view) {
            const double la = std::clamp(lat + offset(random) / 4, -90.0, 90.0);
            const MapView mapView(la, wrapLon(lon + offset(random) / 4), zoom);
            std::set<std::uint32_t> expected;
            for (std::uint32_t i = 0; i < points.size(); ++i) {
                if (mapView.contains(points[i]))
                    expected.insert(i);
            }
            std::set<std::uint32_t> found;
            grid.forEachNear(mapView, [&](std::uint32_t i) {
                if (mapView.contains(points[i]))
                    found.insert(i);
            });
            QVERIFY2(found == expected,
                qPrintable(QString("zoom %1: %2 found, %3 expected")
                               .arg(zoom)
                               .arg(found.size())
                               .arg(expected.size())));
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

    std::multiset<std::uint32_t> left;
    grid.forEachNear(MapView(59.94, 30.31, 15), [&](std::uint32_t i) { left.insert(i); });
    QCOMPARE(left, (std::multiset<std::uint32_t> {0, 2, 3}));
}

QTEST_APPLESS_MAIN(TestSpatialGrid)
#include "tst_spatialgrid.moc"
