#include <QSettings>
#include <QtTest>

#include "installationid.h"
#include "networkcheck.h"
#include "testsupport.h"

// The two decisions the main window takes before anything is shown.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Pinrova::Testing::useCleanTestPaths(); }
    void init();

    void networkCheck_data();
    void networkCheck();
    void loopbackAddress_data();
    void loopbackAddress();
    void firstStartStoresTheId();
    void storedText_data();
    void storedText();

private:
    QSettings settings() const;
};

QSettings TestStartup::settings() const
{
    return QSettings(QStringLiteral("Tavrion"), QStringLiteral("Pinrova"));
}

void TestStartup::init()
{
    settings().remove(QStringLiteral("UID"));
}

void TestStartup::networkCheck_data()
{
    QTest::addColumn<bool>("canStartStop");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<bool>("active");
    QTest::addColumn<bool>("usable");

    QTest::newRow("can start, valid, active") << true << true << true << true;
    QTest::newRow("can start, valid, inactive") << true << true << false << true;
    QTest::newRow("cannot start, valid, active") << false << true << true << true;
    QTest::newRow("cannot start, valid, inactive") << false << true << false << false;
    QTest::newRow("can start, invalid") << true << false << false << false;
    QTest::newRow("can start, invalid but active") << true << false << true << false;
    QTest::newRow("cannot start, invalid, active") << false << false << true << false;
    QTest::newRow("cannot start, invalid, inactive") << false << false << false << false;
}

void TestStartup::networkCheck()
{
    QFETCH(bool, canStartStop);
    QFETCH(bool, valid);
    QFETCH(bool, active);
    QFETCH(bool, usable);
    QCOMPARE(networkConfigurationUsable(canStartStop, valid, active), usable);
}

void TestStartup::loopbackAddress_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<bool>("local");

    QTest::newRow("127.0.0.1 with port") << "http://127.0.0.1:8080" << true;
    QTest::newRow("elsewhere in 127/8") << "http://127.3.2.1" << true;
    QTest::newRow("localhost, any case") << "https://LocalHost:9" << true;
    QTest::newRow("IPv6 loopback") << "http://[::1]:8081" << true;
    QTest::newRow("a host name") << "https://tile.openstreetmap.org" << false;
    QTest::newRow("a name that starts like localhost") << "http://localhost.example" << false;
    QTest::newRow("a private address") << "http://192.168.1.2" << false;
    QTest::newRow("127 as a name's label") << "http://127.0.0.1.example" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("no host") << "file:///tmp" << false;
}

void TestStartup::loopbackAddress()
{
    QFETCH(QString, base);
    QFETCH(bool, local);
    QCOMPARE(isLoopbackAddress(base), local);
}

void TestStartup::firstStartStoresTheId()
{
    QUuid first;
    {
        QSettings store = settings();
        first = readInstallationId(store);
    }
    QVERIFY(!first.isNull());
    // Stored at once, braced and lower-case, before any sign-in.
    const QString stored = settings().value(QStringLiteral("UID")).toString();
    QCOMPARE(stored, first.toString());
    QVERIFY(QRegularExpression(
        QStringLiteral("^\\{[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\}$"))
                .match(stored)
                .hasMatch());

    QSettings later = settings();
    QCOMPARE(readInstallationId(later), first);
    QCOMPARE(readInstallationId(later), first);
}

void TestStartup::storedText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QUuid>("expected");

    const QUuid some = QUuid::createUuid();
    QTest::newRow("braced") << some.toString() << some;
    QTest::newRow("not a uuid") << "not-a-uuid" << QUuid();
    QTest::newRow("empty text") << "" << QUuid();
    QTest::newRow("truncated") << some.toString().left(20) << QUuid();
}

void TestStartup::storedText()
{
    QFETCH(QString, text);
    QFETCH(QUuid, expected);

    settings().setValue(QStringLiteral("UID"), text);
    QSettings store = settings();
    QCOMPARE(readInstallationId(store), expected);
    // A broken value is left for the user to see, not replaced.
    QCOMPARE(settings().value(QStringLiteral("UID")).toString(), text);
}

QTEST_APPLESS_MAIN(TestStartup)
#include "tst_startup.moc"
