#include <QPointer>
#include <QtTest>

#include "isocialinfo.h"
#include "testsupport.h"

using namespace Pinrova::Social;

class TestSocialInfoFactory : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Pinrova::Testing::useCleanTestPaths(); }
    void cleanup() { releaseSocialInfos(); }

    void oneSharedConnectorPerNetwork_data();
    void oneSharedConnectorPerNetwork();
    void tableKeepsConnectorsAlive();
};

void TestSocialInfoFactory::oneSharedConnectorPerNetwork_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QString>("className");

    QTest::newRow("facebook") << int(Facebook) << true << "Pinrova::Social::FacebookInfo";
    QTest::newRow("vkontakte") << int(Vkontakte) << true << "Pinrova::Social::VkInfo";
    QTest::newRow("twitter") << int(Twitter) << false << "";
    QTest::newRow("mail.ru") << int(MailRu) << false << "";
    QTest::newRow("odnoklassniki") << int(Odnoklassniki) << false << "";
    QTest::newRow("unknown") << int(UnknownNetwork) << false << "";
    QTest::newRow("out of range") << 17 << false << "";
    QTest::newRow("negative") << -1 << false << "";
}

void TestSocialInfoFactory::oneSharedConnectorPerNetwork()
{
    QFETCH(int, type);
    QFETCH(bool, exists);
    QFETCH(QString, className);

    const QSharedPointer<ISocialInfo> first = socialInfoForNetwork(NetworkType(type));
    const QSharedPointer<ISocialInfo> second = socialInfoForNetwork(NetworkType(type));
    QCOMPARE(!first.isNull(), exists);
    QCOMPARE(first, second);
    if (!exists)
        return;
    QCOMPARE(int(first->networkType()), type);
    QCOMPARE(QString::fromLatin1(first->metaObject()->className()), className);
    QVERIFY(first->inherits("Pinrova::Social::ISocialInfo"));
}

void TestSocialInfoFactory::tableKeepsConnectorsAlive()
{
    QPointer<ISocialInfo> watched = socialInfoForNetwork(Facebook).data();
    QVERIFY(watched);
    QVERIFY(watched); // every outside reference is gone; the table still holds it
    QCOMPARE(socialInfoForNetwork(Facebook).data(), watched.data());

    // Emptying the table ends a connector nobody else holds, but not one still held.
    QSharedPointer<ISocialInfo> held = socialInfoForNetwork(Vkontakte);
    releaseSocialInfos();
    QVERIFY(!watched);
    QVERIFY(held);
    QVERIFY(socialInfoForNetwork(Vkontakte) != held); // a new one on the next demand
}

QTEST_MAIN(TestSocialInfoFactory)
#include "tst_socialinfofactory.moc"
