#include "crowdperson.h"
#include "positionserviceclient.h"

#include "posdtesting.h"
#include "sandboxtesting.h"

#include <QSignalSpy>
#include <QtTest>

using namespace Pinrova::Sandbox;
using namespace Pinrova::Testing;

// Register and SetPos against the real pinrova-posd.
class TestPositionServiceClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyCharacterArrives_data();
    void everyCharacterArrives();
    void anUnknownUidIsNotFound();

private:
    std::unique_ptr<PosdProcess> posd;
};

void TestPositionServiceClient::initTestCase()
{
    posd = std::make_unique<PosdProcess>();
    QVERIFY(posd->isListening());
}

void TestPositionServiceClient::everyCharacterArrives_data()
{
    QTest::addColumn<QString>("firstName");
    QTest::addColumn<QString>("picture");
    QTest::newRow("plain") << "Emma"
                           << "http://127.0.0.1:1/avatars/1_50.png";
    QTest::newRow("ampersand and equals in the name") << "Ann & Bob=C"
                                                      << "";
    QTest::newRow("plus stays a plus") << "C++"
                                       << "";
    QTest::newRow("percent") << "100%"
                             << "";
    QTest::newRow("Cyrillic") << "Ёжик"
                              << "";
    QTest::newRow("picture with its own query")
        << "Mia"
        << "http://127.0.0.1:1/1/picture?type=square&size=50";
    QTest::newRow("picture with an encoded space") << "Léa"
                                                   << "http://127.0.0.1:1/a%20b.png";
}

void TestPositionServiceClient::everyCharacterArrives()
{
    QFETCH(QString, firstName);
    QFETCH(QString, picture);
    static int serial = 0;
    ++serial;
    CrowdPerson person;
    person.uid = testUid(serial);
    person.network = serial % 2 ? Facebook : Vkontakte;
    person.id = QString::number(9000 + serial);
    person.firstName = firstName;
    person.lastName = QStringLiteral("Test");
    person.gender = Female;
    person.smallPicture = picture;
    person.mediumPicture = picture;
    // Somewhere of its own, so each row finds only its own person.
    const double lat = 10 + serial;

    PositionServiceClient client(posd->baseUrl());
    QSignalSpy registered(&client, &PositionServiceClient::registerFinished);
    QSignalSpy reported(&client, &PositionServiceClient::reportFinished);
    client.registerPerson(serial, person);
    QVERIFY(registered.wait());
    QCOMPARE(registered.at(0).mid(0, 2), (QVariantList {serial, 200}));
    const QByteArray key = registered.at(0).at(2).toByteArray();
    QVERIFY(!key.isEmpty());
    client.reportPosition(serial, person.uid, lat, 20.5, key);
    QVERIFY(reported.wait());
    QCOMPARE(reported.at(0), (QVariantList {serial, 200}));

    QVector<ListedUser> users;
    QVERIFY(readUserList(posd->getUsers(lat, 20.5, 15), users));
    QCOMPARE(users.size(), 1);
    QCOMPARE(users[0].name, person.name());
    QCOMPARE(users[0].smallPicture, picture);
    QCOMPARE(users[0].mediumPicture, picture);
    QCOMPARE(users[0].sex, QStringLiteral("Female"));
    QCOMPARE(users[0].ids.size(), 1);
    QCOMPARE(users[0].ids[0].first, person.id);
    QCOMPARE(users[0].ids[0].second, networkTypeToString(person.network));
    QVERIFY(qAbs(users[0].lat - lat) < 1e-5);
    QVERIFY(qAbs(users[0].lon - 20.5) < 1e-5);
    QVERIFY(users[0].online);
}

// The crowd registers again when it sees this (the service lost its file).
void TestPositionServiceClient::anUnknownUidIsNotFound()
{
    PositionServiceClient client(posd->baseUrl());
    QSignalSpy reported(&client, &PositionServiceClient::reportFinished);
    client.reportPosition(3, testUid(4242), 1, 2, QByteArray());
    QVERIFY(reported.wait());
    QCOMPARE(reported.at(0), (QVariantList {3, 404}));
}

QTEST_MAIN(TestPositionServiceClient)
#include "tst_positionserviceclient.moc"
