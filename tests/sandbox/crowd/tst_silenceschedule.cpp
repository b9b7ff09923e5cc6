#include "silenceschedule.h"

#include <QtTest>

using Pinrova::Sandbox::SilenceSchedule;

class TestSilenceSchedule : public QObject
{
    Q_OBJECT

private slots:
    void aShareTakesBreaks_data();
    void aShareTakesBreaks();
    void theMapAlwaysShowsSomeoneOffline_data();
    void theMapAlwaysShowsSomeoneOffline();
};

void TestSilenceSchedule::aShareTakesBreaks_data()
{
    QTest::addColumn<int>("crowd");
    QTest::addColumn<double>("share");
    QTest::addColumn<int>("breakers");
    QTest::newRow("default crowd") << 40 << 0.2 << 8;
    QTest::newRow("a third of ten") << 10 << 0.3 << 3;
    QTest::newRow("nobody") << 12 << 0.0 << 0;
    QTest::newRow("everybody") << 7 << 1.0 << 7;
    QTest::newRow("too few for one") << 3 << 0.2 << 0;
}

// The right number of people go quiet, each of them speaks again within a cycle, and the
// others never stop.
void TestSilenceSchedule::aShareTakesBreaks()
{
    QFETCH(int, crowd);
    QFETCH(double, share);
    QFETCH(int, breakers);
    const SilenceSchedule schedule(share, 10);
    int counted = 0;
    for (int person = 0; person < crowd; ++person) {
        bool silent = false;
        bool speaking = false;
        for (double t = 0; t < 30; t += 0.25) {
            const bool quiet = schedule.isSilent(person, crowd, t);
            silent = silent || quiet;
            speaking = speaking || !quiet;
        }
        QVERIFY(speaking);
        QCOMPARE(silent, schedule.takesBreaks(person));
        counted += silent;
    }
    QCOMPARE(counted, breakers);
}

void TestSilenceSchedule::theMapAlwaysShowsSomeoneOffline_data()
{
    QTest::addColumn<int>("crowd");
    QTest::addColumn<double>("share");
    QTest::addColumn<double>("silence");
    QTest::addColumn<double>("onlineWindow");
    QTest::newRow("the demo's defaults") << 40 << 0.2 << 150.0 << 60.0;
    QTest::newRow("a quick test's") << 12 << 0.34 << 2.5 << 1.0;
}

// The service shows a person offline once their last report is older than its online window.
// After the first silence has had time to pass that window, someone is always past it.
void TestSilenceSchedule::theMapAlwaysShowsSomeoneOffline()
{
    QFETCH(int, crowd);
    QFETCH(double, share);
    QFETCH(double, silence);
    QFETCH(double, onlineWindow);
    const SilenceSchedule schedule(share, silence);
    const double tick = silence / 150;
    for (double t = silence + onlineWindow; t < 4 * silence; t += tick) {
        int offline = 0;
        for (int person = 0; person < crowd; ++person) {
            bool quietThroughout = true;
            for (double back = 0; back <= onlineWindow + tick && quietThroughout; back += tick)
                quietThroughout = schedule.isSilent(person, crowd, t - back);
            offline += quietThroughout;
        }
        QVERIFY2(offline >= 1, qPrintable(QStringLiteral("nobody offline at %1 s").arg(t)));
        QVERIFY2(offline < crowd * share, qPrintable(QStringLiteral("all offline at %1 s").arg(t)));
    }
}

QTEST_APPLESS_MAIN(TestSilenceSchedule)
#include "tst_silenceschedule.moc"
