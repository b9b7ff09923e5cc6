#include <QtTest>

#include "outsideaddresses.h"

using namespace Pinrova::Network;

class TestOutsideAddresses : public QObject
{
    Q_OBJECT

private slots:
    void environmentOverridesDefault_data();
    void environmentOverridesDefault();
    void everyAddressHasItsOwnVariable();
};

void TestOutsideAddresses::environmentOverridesDefault_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<QByteArray>("environment");
    QTest::addColumn<bool>("set");
    QTest::addColumn<QString>("expected");

    const int tiles = int(OutsideAddress::TileServer);
    const int host = int(OutsideAddress::RedirectHost);
    const int id = int(OutsideAddress::VkAppId);
    QTest::newRow("unset gives the default") << tiles << QByteArray() << false << QString();
    QTest::newRow("empty gives the default") << tiles << QByteArray("") << true << QString();
    QTest::newRow("blank gives the default") << tiles << QByteArray("  ") << true << QString();
    QTest::newRow("override") << tiles << QByteArray("http://127.0.0.1:9000") << true
                              << QStringLiteral("http://127.0.0.1:9000");
    QTest::newRow("trailing slashes dropped") << tiles << QByteArray("http://127.0.0.1:9000//")
                                              << true << QStringLiteral("http://127.0.0.1:9000");
    QTest::newRow("host name kept as given")
        << host << QByteArray("login.test") << true << QStringLiteral("login.test");
    QTest::newRow("identifier") << id << QByteArray("7654321") << true << QStringLiteral("7654321");
}

void TestOutsideAddresses::environmentOverridesDefault()
{
    QFETCH(int, address);
    QFETCH(QByteArray, environment);
    QFETCH(bool, set);
    QFETCH(QString, expected);

    const auto which = OutsideAddress(address);
    const char *variable = outsideAddressVariable(which);
    if (set)
        qputenv(variable, environment);
    else
        qunsetenv(variable);

    const QString value = outsideAddress(which);
    qunsetenv(variable);
    QCOMPARE(value, expected.isNull() ? outsideAddressDefault(which) : expected);
    QVERIFY(!value.isEmpty());
}

void TestOutsideAddresses::everyAddressHasItsOwnVariable()
{
    QSet<QByteArray> names;
    for (int i = int(OutsideAddress::TileServer); i <= int(OutsideAddress::VkAppId); ++i) {
        const QByteArray name = outsideAddressVariable(OutsideAddress(i));
        QVERIFY(name.startsWith("PINROVA_"));
        names.insert(name);
        QVERIFY(!outsideAddressDefault(OutsideAddress(i)).isEmpty());
        QVERIFY(!outsideAddressDefault(OutsideAddress(i)).endsWith('/'));
    }
    QCOMPARE(names.size(), int(OutsideAddress::VkAppId) + 1);
    QCOMPARE(outsideAddressDefault(OutsideAddress::TileServer),
        QStringLiteral("https://tile.openstreetmap.org"));
    QCOMPARE(outsideAddressDefault(OutsideAddress::PositionService),
        QStringLiteral("http://127.0.0.1:8080"));
}

QTEST_APPLESS_MAIN(TestOutsideAddresses)
#include "tst_outsideaddresses.moc"
