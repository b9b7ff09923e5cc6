#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>
#include <QtTest>

#include "person.h"

class TestPerson : public QObject
{
    Q_OBJECT

private slots:
    void defaultRecord();
    void copyKeepsEveryIdentifier();
    void genderFromText_data();
    void genderFromText();
    void genderText_data();
    void genderText();
    void networkFromText_data();
    void networkFromText();
    void networkTexts_data();
    void networkTexts();
    void wireNamesRoundTrip();
    void displayTextsAreTranslatedAsQObject();
};

void TestPerson::defaultRecord()
{
    const Person person;
    QCOMPARE(int(person.gender), 0);
    QCOMPARE(int(person.networkType), 5);
    QVERIFY(person.birthDate.isNull());
    QVERIFY(person.smallPicture.isEmpty());
    QVERIFY(person.mediumPicture.isEmpty());
    QVERIFY(person.name.isNull());
    QVERIFY(person.firstName.isNull());
    QVERIFY(person.lastName.isNull());
    QCOMPARE(int(person.userIds.size()), 6);
    for (const QString &id : person.userIds)
        QVERIFY(id.isNull());
}

void TestPerson::copyKeepsEveryIdentifier()
{
    Person person;
    for (int slot = 0; slot < NetworkTypeCount; ++slot)
        person.userIds[slot] = QStringLiteral("id%1").arg(slot);
    person.networkType = Vkontakte;
    person.birthDate = QDate(1980, 2, 29);

    Person copy = person;
    person.userIds[Vkontakte] = QStringLiteral("changed");
    for (int slot = 0; slot < NetworkTypeCount; ++slot)
        QCOMPARE(copy.userIds[slot], QStringLiteral("id%1").arg(slot));
    QCOMPARE(copy.networkType, Vkontakte);
    QCOMPARE(copy.birthDate, QDate(1980, 2, 29));
}

void TestPerson::genderFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("gender");
    QTest::newRow("lower case male") << "male" << 1;
    QTest::newRow("capitalised male") << "Male" << 1;
    QTest::newRow("upper case male") << "MALE" << 1;
    QTest::newRow("mixed case female") << "fEmAlE" << 2;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("null") << QString() << 0;
    QTest::newRow("initial only") << "M" << 0;
    QTest::newRow("surrounding blanks are not trimmed") << " male" << 0;
    QTest::newRow("number is not a name") << "1" << 0;
    QTest::newRow("display text unknown") << "Unknown" << 0;
}

void TestPerson::genderFromText()
{
    QFETCH(QString, text);
    QFETCH(int, gender);
    QCOMPARE(int(genderFromString(text)), gender);
}

void TestPerson::genderText_data()
{
    QTest::addColumn<int>("gender");
    QTest::addColumn<QString>("text");
    QTest::newRow("unknown") << 0 << "Unknown";
    QTest::newRow("male") << 1 << "Male";
    QTest::newRow("female") << 2 << "Female";
    QTest::newRow("out of range") << 7 << "Unknown";
    QTest::newRow("negative") << -1 << "Unknown";
}

void TestPerson::genderText()
{
    QFETCH(int, gender);
    QFETCH(QString, text);
    QCOMPARE(genderToString(static_cast<Gender>(gender)), text);
}

void TestPerson::networkFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("network");
    QTest::newRow("facebook") << "facebook" << 0;
    QTest::newRow("FACEBOOK") << "FACEBOOK" << 0;
    QTest::newRow("VKontakte") << "VKontakte" << 1;
    QTest::newRow("vk is a display name, not a wire name") << "vk" << 5;
    QTest::newRow("twitter") << "Twitter" << 2;
    QTest::newRow("mailRu") << "mailRu" << 3;
    QTest::newRow("MAILRU") << "MAILRU" << 3;
    QTest::newRow("the service's spelling") << "ondoklassniki" << 4;
    QTest::newRow("the usual spelling") << "odnoklassniki" << 5;
    QTest::newRow("empty") << "" << 5;
    QTest::newRow("prefix only") << "face" << 5;
    QTest::newRow("trailing blank") << "twitter " << 5;
}

void TestPerson::networkFromText()
{
    QFETCH(QString, text);
    QFETCH(int, network);
    const NetworkType type = networkTypeFromString(text);
    QCOMPARE(int(type), network);
    // Whatever is parsed indexes the identifiers safely.
    QVERIFY(type >= 0 && type < int(Person().userIds.size()));
}

void TestPerson::networkTexts_data()
{
    QTest::addColumn<int>("network");
    QTest::addColumn<QString>("wireName");
    QTest::addColumn<QString>("displayName");
    QTest::addColumn<QString>("icon");
    QTest::newRow("facebook") << 0 << "facebook"
                              << "facebook"
                              << ":/Icons/Social/facebook.png";
    QTest::newRow("vkontakte") << 1 << "vkontakte"
                               << "vk"
                               << ":/Icons/Social/vk.png";
    QTest::newRow("twitter") << 2 << "twitter"
                             << "twitter"
                             << ":/Icons/Social/twitter.png";
    QTest::newRow("mail.ru") << 3 << QString() << QString() << QString();
    QTest::newRow("odnoklassniki") << 4 << QString() << QString() << QString();
    QTest::newRow("unknown") << 5 << QString() << QString() << QString();
    QTest::newRow("out of range") << 42 << QString() << QString() << QString();
    QTest::newRow("negative") << -3 << QString() << QString() << QString();
}

void TestPerson::networkTexts()
{
    QFETCH(int, network);
    QFETCH(QString, wireName);
    QFETCH(QString, displayName);
    QFETCH(QString, icon);

    const auto type = static_cast<NetworkType>(network);
    // Null, not merely empty: callers tell "no name" apart by isNull().
    QCOMPARE(networkTypeToString(type).isNull(), wireName.isNull());
    QCOMPARE(networkTypeToString(type), wireName);
    QCOMPARE(networkTypeToDisplayName(type).isNull(), displayName.isNull());
    QCOMPARE(networkTypeToDisplayName(type), displayName);
    QCOMPARE(networkTypeToIcon(type).isNull(), icon.isNull());
    QCOMPARE(networkTypeToIcon(type), icon);
    if (!icon.isNull())
        QVERIFY2(QFile::exists(icon), qPrintable(icon));
}

void TestPerson::wireNamesRoundTrip()
{
    for (const NetworkType type : {Facebook, Vkontakte, Twitter})
        QCOMPARE(networkTypeFromString(networkTypeToString(type)), type);
}

void TestPerson::displayTextsAreTranslatedAsQObject()
{
    QTranslator russian;
    QVERIFY(russian.load(QStringLiteral("pinrova_ru"), QStringLiteral(":/translations")));
    QCoreApplication::installTranslator(&russian);
    QCOMPARE(genderToString(Male), QStringLiteral("М"));
    QCOMPARE(genderToString(Female), QStringLiteral("Ж"));
    QCOMPARE(genderToString(static_cast<Gender>(7)), QStringLiteral("-"));
    QCOMPARE(networkTypeToDisplayName(Vkontakte), QStringLiteral("Вконтакте"));
    QCOMPARE(networkTypeToDisplayName(Twitter), QStringLiteral("Twitter"));
    // Wire names never change with the language.
    QCOMPARE(networkTypeToString(Vkontakte), QStringLiteral("vkontakte"));
    QCoreApplication::removeTranslator(&russian);
}

QTEST_GUILESS_MAIN(TestPerson)
#include "tst_person.moc"
