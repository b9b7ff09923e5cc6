#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGeoCoordinate>
#include <QGeoPositionInfo>
#include <QGeoPositionInfoSource>
#include <QScopedPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString pluginName = QStringLiteral("pinrova-replay");
const QGeoCoordinate mapCentre(59.944069, 30.306141);

QGeoPositionInfo positionAt(const QSignalSpy &spy, int index)
{
    return spy.at(index).at(0).value<QGeoPositionInfo>();
}

} // namespace

class TestReplayPositionPlugin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void offersNothingWithoutTrack_data();
    void offersNothingWithoutTrack();
    void replaysShippedTrackAtItsPace();
    void loopsAtTheEnd();
};

void TestReplayPositionPlugin::initTestCase()
{
    qRegisterMetaType<QGeoPositionInfo>();
    // Qt reads the position plugins once per process, so the path goes in before any use.
    QCoreApplication::addLibraryPath(QStringLiteral(PINROVA_PLUGIN_DIR));
    QVERIFY2(QGeoPositionInfoSource::availableSources().contains(pluginName),
        qPrintable(QGeoPositionInfoSource::availableSources().join(' ')));
}

void TestReplayPositionPlugin::cleanup()
{
    qunsetenv("PINROVA_POSITION_REPLAY");
}

void TestReplayPositionPlugin::offersNothingWithoutTrack_data()
{
    QTest::addColumn<bool>("set");
    QTest::addColumn<QString>("track");

    QTest::newRow("unset") << false << QString();
    QTest::newRow("empty") << true << QString();
    QTest::newRow("missing file") << true << QStringLiteral("/nonexistent/track.nmea");
    QTest::newRow("folder") << true << QDir::tempPath();
}

void TestReplayPositionPlugin::offersNothingWithoutTrack()
{
    QFETCH(bool, set);
    QFETCH(QString, track);

    if (set)
        qputenv("PINROVA_POSITION_REPLAY", QFile::encodeName(track));
    QScopedPointer<QGeoPositionInfoSource> ours(
        QGeoPositionInfoSource::createSource(pluginName, nullptr));
    QVERIFY(!ours);
    // Whatever the desktop offers comes next, and it is not ours.
    QScopedPointer<QGeoPositionInfoSource> fallback(
        QGeoPositionInfoSource::createDefaultSource(nullptr));
    QVERIFY(!fallback || fallback->sourceName() != pluginName);
}

void TestReplayPositionPlugin::replaysShippedTrackAtItsPace()
{
    qputenv("PINROVA_POSITION_REPLAY", QByteArray(PINROVA_TRACK));
    QScopedPointer<QGeoPositionInfoSource> source(
        QGeoPositionInfoSource::createDefaultSource(nullptr));
    QVERIFY(source);
    QCOMPARE(source->sourceName(), pluginName);

    QSignalSpy updates(source.data(), &QGeoPositionInfoSource::positionUpdated);
    QElapsedTimer clock;
    clock.start();
    source->startUpdates();
    QTRY_VERIFY_WITH_TIMEOUT(updates.count() >= 2, 5000);
    // The track has a fix a second; a source reading it as fast as it can would not wait.
    QVERIFY2(clock.elapsed() >= 900, qPrintable(QString::number(clock.elapsed())));

    for (int i = 0; i < 2; ++i) {
        const QGeoPositionInfo info = positionAt(updates, i);
        QVERIFY(info.isValid());
        QVERIFY(info.coordinate().isValid());
        QVERIFY2(info.coordinate().distanceTo(mapCentre) < 100,
            qPrintable(info.coordinate().toString()));
    }
    QCOMPARE(positionAt(updates, 0).timestamp().msecsTo(positionAt(updates, 1).timestamp()), 1000);
}

void TestReplayPositionPlugin::loopsAtTheEnd()
{
    // Three fixes a tenth of a second apart, each at its own latitude.
    QTemporaryDir dir;
    QFile track(dir.filePath(QStringLiteral("short.nmea")));
    QVERIFY(track.open(QIODevice::WriteOnly));
    track.write("$GPRMC,120000.00,A,5956.0000,N,03018.0000,E,0.0,0.0,010612,,,A*5C\r\n"
                "$GPRMC,120000.10,A,5956.1000,N,03018.0000,E,0.0,0.0,010612,,,A*5C\r\n"
                "$GPRMC,120000.20,A,5956.2000,N,03018.0000,E,0.0,0.0,010612,,,A*5C\r\n");
    track.close();
    qputenv("PINROVA_POSITION_REPLAY", QFile::encodeName(track.fileName()));

    QScopedPointer<QGeoPositionInfoSource> source(
        QGeoPositionInfoSource::createDefaultSource(nullptr));
    QVERIFY(source);
    QSignalSpy updates(source.data(), &QGeoPositionInfoSource::positionUpdated);
    source->startUpdates();
    QTRY_VERIFY_WITH_TIMEOUT(updates.count() >= 7, 5000);

    for (int i = 0; i < 7; ++i) {
        const QGeoPositionInfo info = positionAt(updates, i);
        QVERIFY2(qFuzzyCompare(info.coordinate().latitude(),
                     positionAt(updates, i % 3).coordinate().latitude()),
            qPrintable(QString::number(i)));
        if (i > 0)
            QVERIFY2(positionAt(updates, i - 1).timestamp() < info.timestamp(),
                qPrintable(info.timestamp().toString(Qt::ISODateWithMs)));
    }
    QVERIFY(positionAt(updates, 0).coordinate().latitude()
        < positionAt(updates, 1).coordinate().latitude());
}

QTEST_GUILESS_MAIN(TestReplayPositionPlugin)
#include "tst_replaypositionplugin.moc"
