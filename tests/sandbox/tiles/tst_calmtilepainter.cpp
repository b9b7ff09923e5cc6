#include "calmtilepainter.h"
#include "tileindex.h"

#include <QtTest>

#include <cmath>

using namespace Pinrova::Sandbox;

class TestCalmTilePainter : public QObject
{
    Q_OBJECT

private slots:
    void graticuleSpacingSuitsTheZoom_data();
    void graticuleSpacingSuitsTheZoom();
};

void TestCalmTilePainter::graticuleSpacingSuitsTheZoom_data()
{
    QTest::addColumn<int>("zoom");
    QTest::addColumn<double>("latitude");
    for (int zoom = TileIndex::MinZoom; zoom <= TileIndex::MaxZoom; ++zoom) {
        for (const double latitude : {0.0, 59.944069, 78.0})
            QTest::addRow("z%d at %g degrees", zoom, latitude) << zoom << latitude;
    }
}

// Lines close enough that every tile has one or two, far enough that labels do not crowd.
void TestCalmTilePainter::graticuleSpacingSuitsTheZoom()
{
    QFETCH(int, zoom);
    QFETCH(double, latitude);
    const double perLonDegree = 256 * std::ldexp(1.0, zoom) / 360;
    const double perLatDegree = perLonDegree / std::cos(latitude * M_PI / 180);
    for (const double perDegree : {perLonDegree, perLatDegree}) {
        const double spacing = CalmTilePainter::gridStep(perDegree) * perDegree;
        QVERIFY2(spacing >= 100 && spacing <= 256, qPrintable(QString::number(spacing)));
    }
}

QTEST_MAIN(TestCalmTilePainter)
#include "tst_calmtilepainter.moc"
