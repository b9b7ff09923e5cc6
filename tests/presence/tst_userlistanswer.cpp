#include <QtTest>

#include "userlistanswer.h"

using namespace Pinrova::Social;

namespace {

QString idsText(const Person &person)
{
    QStringList ids;
    for (const QString &id : person.userIds)
        ids << id;
    return ids.join(QLatin1Char(','));
}

// One line per person, so a table row states the whole result and a failure shows it.
QString describe(const NearByUser &user)
{
    return QStringLiteral("%1|%2|%3|%4|sex %5|home %6|%7|%8|%9")
        .arg(user.person.name)
        .arg(user.lat)
        .arg(user.lon)
        .arg(user.online ? "online" : "offline")
        .arg(int(user.person.gender))
        .arg(int(user.person.networkType))
        .arg(idsText(user.person), user.person.smallPicture.toString(),
            user.person.mediumPicture.toString());
}

QByteArray wrap(const char *users)
{
    return QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<ArrayOfUser>") + users
        + "</ArrayOfUser>";
}

// "Name fb=1 vk=7": a person named Name with those identifiers; home network the last one.
NearByUser person(const QString &description)
{
    const QStringList parts = description.split(QLatin1Char(' '));
    NearByUser user;
    user.person.name = parts.value(0);
    for (const QString &part : parts.mid(1)) {
        const QString network = part.section(QLatin1Char('='), 0, 0);
        const NetworkType type = network == QLatin1String("fb") ? Facebook
            : network == QLatin1String("vk")                    ? Vkontakte
            : network == QLatin1String("tw")                    ? Twitter
                                                                : UnknownNetwork;
        user.person.userIds[type] = part.section(QLatin1Char('='), 1);
        user.person.networkType = type;
    }
    return user;
}

// A person whose User holds an element nested depth deep with text at every level.
QByteArray nestedAnswer(int depth)
{
    const QByteArray nested
        = QByteArray("<a>x").repeated(depth) + QByteArray("</a>").repeated(depth);
    return wrap(QByteArray("<User><Name>Deep</Name><UserIds><UserId><Id>5</Id></UserId></UserIds>"
        + nested + "</User>")
                    .constData());
}

} // namespace

class TestUserListAnswer : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void merge_data();
    void merge();
    void crowds_data();
    void crowds();
};

void TestUserListAnswer::parse_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("isList");
    QTest::addColumn<QStringList>("users");

    const char *typical = "<User><Lat>59.9441</Lat><Lon>30.3061</Lon><Online>true</Online>"
                          "<Name>Anna Smirnova</Name><Sex>Female</Sex>"
                          "<SmallPicture>http://pic/s?type=square</SmallPicture>"
                          "<MediumPicture>http://pic/m</MediumPicture>"
                          "<UserIds><UserId><Id>100</Id><NetworkType>facebook</NetworkType>"
                          "</UserId></UserIds></User>";
    QTest::newRow("as the service writes it")
        << wrap(typical) << true
        << QStringList {"Anna Smirnova|59.9441|30.3061|online|sex 2|home 0|100,,,,,|"
                        "http://pic/s?type=square|http://pic/m"};
    QTest::newRow("not XML") << QByteArray("<html><body>502") << false << QStringList();
    QTest::newRow("empty body") << QByteArray() << false << QStringList();
    QTest::newRow("another document element")
        << QByteArray("<Users>") + typical + "</Users>" << false << QStringList();
    QTest::newRow("no people") << wrap("") << true << QStringList();
    QTest::newRow("end tag does not match")
        << QByteArray("<ArrayOfUser><User></Users></ArrayOfUser>") << false << QStringList();
    QTest::newRow("text after the document")
        << wrap(typical) + "trailing" << false << QStringList();
    QTest::newRow("unknown entity") << wrap("&nbsp;") << false << QStringList();
    QTest::newRow("entities, CDATA, comments and CRLF")
        << wrap("<!-- c --><User>\r\n<Name>A &amp; B&#x20;<![CDATA[<C>]]></Name><?pi x?>"
                "<UserIds><UserId><Id>&#49;</Id></UserId></UserIds></User>")
        << true << QStringList {"A & B <C>|0|0|offline|sex 0|home 5|,,,,,1||"};
    QTest::newRow("user without UserIds")
        << wrap("<User><Name>Lost</Name><Lat>1</Lat></User>") << true << QStringList();
    QTest::newRow("UserIds without a UserId")
        << wrap("<User><Name>Lost</Name><UserIds/></User>") << true << QStringList();
    QTest::newRow("unknown network goes to slot 5")
        << wrap("<User><Name>Ole</Name><UserIds><UserId><Id>9</Id>"
                "<NetworkType>myspace</NetworkType></UserId></UserIds></User>")
        << true << QStringList {"Ole|0|0|offline|sex 0|home 5|,,,,,9||"};
    QTest::newRow("two UserIds, the last is home") << wrap(
        "<User><Name>Ivan</Name><Sex>male</Sex><UserIds>"
        "<UserId><NetworkType>facebook</NetworkType><Id>1</Id></UserId>"
        "<UserId><Id>7</Id><NetworkType>VKontakte</NetworkType></UserId>"
        "</UserIds></User>") << true << QStringList {"Ivan|0|0|offline|sex 1|home 1|1,7,,,,||"};
    QTest::newRow("only the first UserIds counts") << wrap(
        "<User><UserIds><UserId><Id>1</Id><NetworkType>twitter</NetworkType></UserId>"
        "</UserIds><UserIds><UserId><Id>2</Id><NetworkType>facebook</NetworkType>"
        "</UserId></UserIds></User>") << true << QStringList {"|0|0|offline|sex 0|home 2|,,1,,,||"};
    QTest::newRow("Online in any case, and 1 is not true")
        << wrap("<User><Name>a</Name><Online>TrUe</Online><UserIds><UserId><Id>1</Id>"
                "</UserId></UserIds></User>"
                "<User><Name>b</Name><Online>1</Online><UserIds><UserId><Id>2</Id>"
                "</UserId></UserIds></User>")
        << true
        << QStringList {
               "a|0|0|online|sex 0|home 5|,,,,,1||", "b|0|0|offline|sex 0|home 5|,,,,,2||"};
    QTest::newRow("first element of a name at any depth") << wrap(
        "<User><Extra><Name>deep</Name></Extra><Name>shallow</Name><Lat>abc</Lat>"
        "<Lon>-1.5e1</Lon><UserIds><UserId><Wrapped><Id>3</Id></Wrapped></UserId>"
        "</UserIds></User>") << true << QStringList {"deep|0|-15|offline|sex 0|home 5|,,,,,3||"};
    QTest::newRow("other children and text skipped")
        << wrap("text<Note/><User><Name>Пётр</Name><UserIds><UserId><Id>4</Id>"
                "<NetworkType>mailRu</NetworkType></UserId></UserIds></User>")
        << true << QStringList {"Пётр|0|0|offline|sex 0|home 3|,,,4,,||"};
    QTest::newRow("positions off the world left out")
        << wrap("<User><Name>a</Name><Lat>inf</Lat><UserIds><UserId><Id>1</Id></UserId></UserIds>"
                "</User><User><Name>b</Name><Lon>nan</Lon><UserIds><UserId><Id>2</Id></UserId>"
                "</UserIds></User><User><Name>c</Name><Lat>90.01</Lat><UserIds><UserId><Id>3</Id>"
                "</UserId></UserIds></User><User><Name>d</Name><Lon>-1e6</Lon><UserIds><UserId>"
                "<Id>4</Id></UserId></UserIds></User><User><Name>e</Name><Lat>-90</Lat>"
                "<Lon>180</Lon><UserIds><UserId><Id>5</Id></UserId></UserIds></User>")
        << true << QStringList {"e|-90|180|offline|sex 0|home 5|,,,,,5||"};
    // What a service that knows crowds=1 adds after the people changes nothing about them.
    QTest::newRow("crowd cells after the people")
        << wrap(QByteArray(typical)
               + "<Crowd><Lat>59.91</Lat><Lon>30.2</Lon><Count>1234</Count></Crowd>")
        << true
        << QStringList {"Anna Smirnova|59.9441|30.3061|online|sex 2|home 0|100,,,,,|"
                        "http://pic/s?type=square|http://pic/m"};
    // 3.6 MB, within the body limit. Read in time linear in its size: walking every open
    // element per piece of text made this take minutes, past the test's time-out.
    QTest::newRow("deeply nested")
        << nestedAnswer(450000) << true << QStringList {"Deep|0|0|offline|sex 0|home 5|,,,,,5||"};
}

void TestUserListAnswer::parse()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, isList);
    QFETCH(QStringList, users);

    // An attribute on the document element sends the answer past the fast scanner to the full
    // reader; both must read it alike.
    QByteArray withAttribute = body;
    withAttribute.replace("<ArrayOfUser>", "<ArrayOfUser xmlns=\"urn:pinrova\">");
    for (const QByteArray &document : {body, withAttribute}) {
        const std::optional<QVector<NearByUser>> parsed = parseUserListAnswer(document);
        QCOMPARE(parsed.has_value(), isList);
        QStringList described;
        for (const NearByUser &user : parsed.value_or(QVector<NearByUser>()))
            described << describe(user);
        QCOMPARE(described, users);
    }
}

void TestUserListAnswer::crowds_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("crowds"); // "lat|lon|count"

    const QByteArray user = "<User><Lat>1</Lat><UserIds><UserId><Id>1</Id></UserId></UserIds>"
                            "<Crowd><Lat>5</Lat><Lon>5</Lon><Count>5</Count></Crowd></User>";
    QTest::newRow("as the service writes them") << wrap(user
        + "<Crowd><Lat>59.91</Lat><Lon>30.2</Lon><Count>1234</Count></Crowd>"
          "<Crowd><Count>7</Count><Lon>-0.5</Lon><Lat>-1</Lat></Crowd>")
                                                << QStringList {"59.91|30.2|1234", "-1|-0.5|7"};
    QTest::newRow("only direct children of the list")
        << wrap("<Other><Crowd><Lat>1</Lat><Lon>1</Lon><Count>1</Count></Crowd></Other>")
        << QStringList();
    QTest::newRow("only direct children of a crowd")
        << wrap("<Crowd><X><Lat>9</Lat></X><Lat>1</Lat><Lon>2</Lon><Count>3</Count></Crowd>")
        << QStringList {"1|2|3"};
    // Hostile values never reach the map: no count, a count that is not a whole positive
    // number, a place off the world. Too large a count is read as the largest.
    QTest::newRow("hostile values left out")
        << wrap("<Crowd><Lat>1</Lat><Lon>1</Lon></Crowd>"
                "<Crowd><Lat>1</Lat><Lon>1</Lon><Count>0</Count></Crowd>"
                "<Crowd><Lat>1</Lat><Lon>1</Lon><Count>-4</Count></Crowd>"
                "<Crowd><Lat>1</Lat><Lon>1</Lon><Count>2.5</Count></Crowd>"
                "<Crowd><Lat>nan</Lat><Lon>1</Lon><Count>2</Count></Crowd>"
                "<Crowd><Lat>1</Lat><Lon>181</Lon><Count>2</Count></Crowd>"
                "<Crowd><Lat>1</Lat><Lon>1</Lon><Count>99999999999999999999</Count></Crowd>"
                "<Crowd><Lat>1</Lat><Lon>1</Lon><Count>5000000000</Count></Crowd>")
        << QStringList {QStringLiteral("1|1|%1").arg(MaximumCrowdCount)};
    QTest::newRow("bounded in number")
        << wrap(QByteArray("<Crowd><Lat>1</Lat><Lon>1</Lon><Count>1</Count></Crowd>")
                    .repeated(MaximumCrowds + 5)
                    .constData())
        << QStringList(QVector<QString>(MaximumCrowds, QStringLiteral("1|1|1")).toList());
}

void TestUserListAnswer::crowds()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, crowds);

    QByteArray withAttribute = body;
    withAttribute.replace("<ArrayOfUser>", "<ArrayOfUser xmlns=\"urn:pinrova\">");
    for (const QByteArray &document : {body, withAttribute}) {
        QVector<NearByCrowd> read;
        QVERIFY(readUserListAnswer(document, {}, &read));
        QStringList described;
        for (const NearByCrowd &crowd : read)
            described << QStringLiteral("%1|%2|%3").arg(crowd.lat).arg(crowd.lon).arg(crowd.count);
        QCOMPARE(described, crowds);
    }
}

void TestUserListAnswer::merge_data()
{
    QTest::addColumn<QStringList>("current");
    QTest::addColumn<QStringList>("fresh");
    // Name as kept, "*" when the picture came along, then the fresh position.
    QTest::addColumn<QStringList>("merged");

    QTest::newRow("known person keeps record and picture")
        << QStringList {"Old fb=1"} << QStringList {"New fb=1"} << QStringList {"Old* 1"};
    QTest::newRow("stranger as parsed")
        << QStringList {"Old fb=1"} << QStringList {"New fb=2"} << QStringList {"New 1"};
    QTest::newRow("match on the second identifier")
        << QStringList {"Old vk=7"} << QStringList {"New fb=1 vk=7"} << QStringList {"Old* 1"};
    QTest::newRow("same identifier on another network is no match")
        << QStringList {"Old vk=1"} << QStringList {"New fb=1"} << QStringList {"New 1"};
    QTest::newRow("unknown network never matches")
        << QStringList {"Old x=9"} << QStringList {"New x=9"} << QStringList {"New 1"};
    QTest::newRow("first match in the current list's order") << QStringList {"First vk=7",
        "Second fb=1"} << QStringList {"New fb=1 vk=7"} << QStringList {"First* 1"};
    QTest::newRow("listed twice, kept twice")
        << QStringList {"Old fb=1"} << QStringList {"A fb=1", "B fb=1"}
        << QStringList {"Old* 1", "Old* 2"};
    QTest::newRow("fresh order, moves and leavers")
        << QStringList {"A fb=1", "B fb=2", "C fb=3"} << QStringList {"C fb=3", "D tw=4", "A fb=1"}
        << QStringList {"C* 1", "D 2", "A* 3"};
}

void TestUserListAnswer::merge()
{
    QFETCH(QStringList, current);
    QFETCH(QStringList, fresh);
    QFETCH(QStringList, merged);

    QImage picture(2, 2, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    QVector<NearByUser> known;
    for (const QString &description : current) {
        known << person(description);
        known.last().picture = picture;
        known.last().lat = -90;
    }
    QVector<NearByUser> answer;
    for (const QString &description : fresh) {
        answer << person(description);
        answer.last().lat = answer.size();
        answer.last().online = true;
    }

    QStringList described;
    for (const NearByUser &user : mergeUserList(known, answer)) {
        QVERIFY(user.online);
        described << user.person.name + (user.picture.isNull() ? "" : "*") + ' '
                + QString::number(user.lat);
    }
    QCOMPARE(described, merged);
}

QTEST_APPLESS_MAIN(TestUserListAnswer)
#include "tst_userlistanswer.moc"
