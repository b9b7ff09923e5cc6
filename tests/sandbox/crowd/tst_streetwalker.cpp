#include "streetwalker.h"
#include "tiles/streetgrid.h"

#include <QtTest>

#include <cmath>

using namespace Pinrova::Sandbox;

class TestStreetWalker : public QObject
{
    Q_OBJECT

private slots:
    void walksTheStreetsNearHome_data();
    void walksTheStreetsNearHome();
};

namespace {

double metresBetween(GeoPoint a, GeoPoint b)
{
    const double north = (a.lat - b.lat) * 111320.0;
    const double east = (a.lon - b.lon) * 111320.0 * std::cos(a.lat * M_PI / 180);
    return std::hypot(north, east);
}

bool onAStreet(GeoPoint p)
{
    const double rows = p.lat / StreetGrid::LatitudeStep;
    const double columns = p.lon / StreetGrid::LongitudeStep;
    return std::fabs(rows - std::round(rows)) < 1e-6
        || std::fabs(columns - std::round(columns)) < 1e-6;
}

} // namespace

void TestStreetWalker::walksTheStreetsNearHome_data()
{
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("lon");
    QTest::addColumn<double>("radius");
    QTest::addColumn<double>("pace");
    QTest::addColumn<quint32>("seed");
    QTest::newRow("stroller near the default centre")
        << 59.944069 << 30.306141 << 2000.0 << 1.2 << 1u;
    QTest::newRow("cyclist near the default centre")
        << 59.944069 << 30.306141 << 2000.0 << 5.0 << 2u;
    QTest::newRow("small area, fast") << 59.944069 << 30.306141 << 300.0 << 5.0 << 3u;
    QTest::newRow("south of the equator, west") << -33.86 << -70.65 << 1500.0 << 2.0 << 4u;
    QTest::newRow("far north") << 78.22 << 15.65 << 1000.0 << 3.0 << 5u;
}

// Two hours of reports every 3 s: always on a street, never faster than the pace, never more
// than a block or so beyond the radius, and really going places.
void TestStreetWalker::walksTheStreetsNearHome()
{
    QFETCH(double, lat);
    QFETCH(double, lon);
    QFETCH(double, radius);
    QFETCH(double, pace);
    QFETCH(quint32, seed);
    const GeoPoint home {lat, lon};
    StreetWalker walker(home, radius, pace, seed);
    const double block
        = std::max(StreetGrid::metresPerLatitudeStep(), StreetGrid::metresPerLongitudeStep(lat));
    GeoPoint previous = walker.position();
    double farthest = 0;
    double farthestFromStart = 0;
    const GeoPoint start = previous;
    for (int step = 0; step < 2400; ++step) {
        walker.walk(3);
        const GeoPoint now = walker.position();
        QVERIFY2(onAStreet(now), qPrintable(QStringLiteral("step %1 off the streets").arg(step)));
        QVERIFY(metresBetween(previous, now) <= pace * 3 + 0.01);
        farthest = std::max(farthest, metresBetween(home, now));
        farthestFromStart = std::max(farthestFromStart, metresBetween(start, now));
        previous = now;
    }
    QVERIFY2(farthest <= radius + 1.5 * block, qPrintable(QString::number(farthest)));
    QVERIFY2(farthestFromStart >= std::min(radius, 4 * block) / 2,
        qPrintable(QString::number(farthestFromStart)));
}

QTEST_APPLESS_MAIN(TestStreetWalker)
#include "tst_streetwalker.moc"
