#include "api/networknames.h"
#include "api/userlistxml.h"
#include "api/wirerequests.h"

#include "posdtesting.h"

#include <QtTest>

using namespace Pinrova::Server;
using namespace Pinrova::Testing;

// The answer read the way the app's nearby-user list reads it, with QDomDocument.
class TestUserListXml : public QObject
{
    Q_OBJECT

private slots:
    void roundTripsThroughTheAppsReader_data();
    void roundTripsThroughTheAppsReader();
    void emptyListIsAValidDocument();
    void networkNamesReadBackAsTheirNumbers();
};

void TestUserListXml::roundTripsThroughTheAppsReader_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("picture");
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("lon");

    QTest::newRow("plain") << "Ivan"
                           << "http://pics.example/a.jpg" << 59.9441 << 30.3061;
    QTest::newRow("markup characters") << "<b>&amp;\"Tom\" & 'Jerry'</b>"
                                       << "http://p.example/a?x=1&y=<2>" << -33.8688 << 151.209;
    QTest::newRow("CDATA end and comment openers") << "]]> <!-- <?pi?>"
                                                   << "" << 0.0 << -0.0;
    QTest::newRow("Cyrillic") << QString::fromUtf8("Иван Петров") << "https://vk.example/Ж.jpg"
                              << 55.7558 << 37.6173;
    QTest::newRow("outside the basic plane") << QString::fromUtf8("😀 𝄞") << "" << 5e-05 << -180.0;
    QTest::newRow("poles and exponent") << "n"
                                        << "" << 90.0 << 1e-07;
}

void TestUserListXml::roundTripsThroughTheAppsReader()
{
    QFETCH(QString, name);
    QFETCH(QString, picture);
    QFETCH(double, lat);
    QFETCH(double, lon);

    RegisterRequest profile;
    profile.network = 1;
    profile.id = "id<&>" + name.toStdString();
    profile.name = name.toStdString();
    profile.smallPicture = picture.toStdString();
    profile.mediumPicture = picture.toStdString() + "&m";
    profile.sex = 2;

    std::string body;
    UserListXml xml(body);
    xml.begin();
    xml.addUser(lat, lon, true, UserListXml::profileFragment(profile));
    profile.sex = 1;
    xml.addUser(-lat, lon, false, UserListXml::profileFragment(profile));
    xml.end();

    QVector<ListedUser> users;
    QVERIFY2(readUserList(QByteArray::fromStdString(body), users), body.c_str());
    QCOMPARE(users.size(), 2);
    const ListedUser &first = users[0];
    QCOMPARE(first.name, name);
    QCOMPARE(first.smallPicture, picture);
    QCOMPARE(first.mediumPicture, picture + "&m");
    QCOMPARE(first.lat, lat);
    QCOMPARE(first.lon, lon);
    QVERIFY(first.online);
    QCOMPARE(first.sex.toUpper(), QString("FEMALE"));
    QCOMPARE(first.ids.size(), 1);
    QCOMPARE(first.ids[0].first, "id<&>" + name);
    QCOMPARE(first.ids[0].second, QString("vkontakte"));
    QCOMPARE(users[1].lat, -lat);
    QVERIFY(!users[1].online);
    QCOMPARE(users[1].sex.toUpper(), QString("MALE"));
}

void TestUserListXml::emptyListIsAValidDocument()
{
    std::string body;
    UserListXml xml(body);
    xml.begin();
    xml.end();
    QVector<ListedUser> users {ListedUser()};
    QVERIFY(readUserList(QByteArray::fromStdString(body), users));
    QVERIFY(users.isEmpty());
}

void TestUserListXml::networkNamesReadBackAsTheirNumbers()
{
    // The app compares case-insensitively in this order; each written name must land on its
    // own number.
    const QStringList appOrder {"facebook", "vkontakte", "twitter", "mailRu", "ondoklassniki"};
    for (int network = 0; network < NetworkCount; ++network) {
        const QString written = QString::fromStdString(std::string(networkWireName(network)));
        int read = 5;
        for (int i = 0; i < appOrder.size(); ++i) {
            if (written.compare(appOrder[i], Qt::CaseInsensitive) == 0) {
                read = i;
                break;
            }
        }
        QCOMPARE(read, network);
    }
}

QTEST_APPLESS_MAIN(TestUserListXml)
#include "tst_userlistxml.moc"
