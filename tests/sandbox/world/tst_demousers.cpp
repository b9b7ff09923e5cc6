#include "demousers.h"

#include <QtTest>

using namespace Pinrova::Sandbox;

class TestDemoUsers : public QObject
{
    Q_OBJECT

private slots:
    void readsBothNetworks();
    void aMissingSectionKeepsTheBuiltInPeople();
    void refusesWhatTheStandInsCannotServe_data();
    void refusesWhatTheStandInsCannotServe();
};

void TestDemoUsers::readsBothNetworks()
{
    DemoUsers users;
    QString error;
    QVERIFY2(readDemoUsers(R"({"facebook": {"id": "100000000000042", "firstName": "Jane",
        "lastName": "Roe", "gender": "female", "birthday": "1/2/1985"},
        "vkontakte": [{"uid": "7", "firstName": "Олег", "lastName": "Ким", "sex": 2,
        "birthDate": "3.4", "email": "oleg@vk.example", "password": "pw"},
        {"uid": "8", "firstName": "Ира", "lastName": "Ли"}]})",
                 users, error),
        qPrintable(error));
    QCOMPARE(users.facebook.id, QStringLiteral("100000000000042"));
    QCOMPARE(users.facebook.firstName, QStringLiteral("Jane"));
    QCOMPARE(users.facebook.birthday, QStringLiteral("1/2/1985"));
    QCOMPARE(users.vkontakte.size(), 2);
    QCOMPARE(users.vkontakte[0].firstName, QStringLiteral("Олег"));
    QCOMPARE(users.vkontakte[0].sex, 2);
    QCOMPARE(users.vkontakte[0].email, QStringLiteral("oleg@vk.example"));
    QVERIFY(users.vkontakte[1].email.isEmpty()); // a profile that cannot sign in
}

void TestDemoUsers::aMissingSectionKeepsTheBuiltInPeople()
{
    DemoUsers users;
    QString error;
    QVERIFY(readDemoUsers(R"({"facebook": {"firstName": "Jane"}})", users, error));
    QCOMPARE(users.facebook.firstName, QStringLiteral("Jane"));
    QCOMPARE(users.facebook.id, FacebookUser().id);
    QCOMPARE(users.vkontakte.size(), VkStandIn::demoUsers().size());
}

void TestDemoUsers::refusesWhatTheStandInsCannotServe_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("not JSON") << QByteArray("facebook: Jane");
    QTest::newRow("a list") << QByteArray(R"([{"uid": "1"}])");
    QTest::newRow("facebook id with letters") << QByteArray(R"({"facebook": {"id": "jane"}})");
    QTest::newRow("no vkontakte people") << QByteArray(R"({"vkontakte": []})");
    QTest::newRow("vkontakte uid missing") << QByteArray(R"({"vkontakte": [{"firstName": "A"}]})");
    QTest::newRow("vkontakte uid twice")
        << QByteArray(R"({"vkontakte": [{"uid": "5"}, {"uid": "5"}]})");
}

void TestDemoUsers::refusesWhatTheStandInsCannotServe()
{
    QFETCH(QByteArray, json);
    DemoUsers users;
    users.facebook.firstName = QStringLiteral("unchanged");
    QString error;
    QVERIFY(!readDemoUsers(json, users, error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(users.facebook.firstName, QStringLiteral("unchanged"));
}

QTEST_APPLESS_MAIN(TestDemoUsers)
#include "tst_demousers.moc"
