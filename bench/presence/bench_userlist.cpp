#include <QtTest>

#include "userlistanswer.h"

using namespace Pinrova::Social;

namespace {

// A GetUsers answer as the position service writes it, people spread over both networks.
QByteArray answerOf(int people)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<ArrayOfUser>";
    for (int i = 0; i < people; ++i) {
        const QByteArray id = QByteArray::number(100000000000000LL + i);
        const QByteArray network = i % 2 ? "vkontakte" : "facebook";
        xml += "<User><Lat>59.9" + QByteArray::number(i % 1000) + "</Lat><Lon>30.3"
            + QByteArray::number(i % 997) + "</Lon><Online>" + (i % 3 ? "true" : "false")
            + "</Online><Name>Person " + id + "</Name><Sex>Female</Sex><SmallPicture>"
            + "https://graph.facebook.com/" + id + "/picture?type=square</SmallPicture>"
            + "<MediumPicture>https://graph.facebook.com/" + id
            + "/picture?type=normal</MediumPicture><UserIds><UserId><Id>" + id + "</Id>"
            + "<NetworkType>" + network + "</NetworkType></UserId></UserIds></User>";
    }
    return xml + "</ArrayOfUser>\n";
}

// One person whose User holds an element nested as deep as fits in bytes, text at every level:
// the worst shape for a reader that walks the open elements.
QByteArray nestedAnswerOf(int bytes)
{
    const QByteArray head = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<ArrayOfUser><User>"
                            "<UserIds><UserId><Id>1</Id><NetworkType>facebook</NetworkType>"
                            "</UserId></UserIds>";
    const QByteArray tail = "</User></ArrayOfUser>\n";
    const int depth = (bytes - head.size() - tail.size()) / 8;
    return head + QByteArray("<a>x").repeated(depth) + QByteArray("</a>").repeated(depth) + tail;
}

} // namespace

class BenchUserList : public QObject
{
    Q_OBJECT

private slots:
    void parseAndMerge_data();
    void parseAndMerge();
    void mergeOnly_data();
    void mergeOnly();
    void nested_data();
    void nested();
};

void BenchUserList::parseAndMerge_data()
{
    QTest::addColumn<int>("people");
    QTest::newRow("1000") << 1000;
    QTest::newRow("10000") << 10000;
}

// One refresh as the list runs it: the answer read into a list that holds the same people.
void BenchUserList::parseAndMerge()
{
    QFETCH(int, people);
    const QByteArray answer = answerOf(people);
    const QVector<NearByUser> current = parseUserListAnswer(answer).value();
    QCOMPARE(current.size(), people);
    QVector<NearByUser> merged;
    QBENCHMARK
    {
        merged = readUserListAnswer(answer, current).value();
    }
    QCOMPARE(merged.size(), people);
}

void BenchUserList::mergeOnly_data()
{
    parseAndMerge_data();
}

void BenchUserList::mergeOnly()
{
    QFETCH(int, people);
    const QVector<NearByUser> parsed = parseUserListAnswer(answerOf(people)).value();
    QVector<NearByUser> merged;
    QBENCHMARK
    {
        merged = mergeUserList(parsed, parsed);
    }
    QCOMPARE(merged.size(), people);
}

void BenchUserList::nested_data()
{
    QTest::addColumn<bool>("fullReader");
    QTest::newRow("4 MiB nested, scanner") << false;
    QTest::newRow("4 MiB nested, stream reader") << true;
}

// A hostile answer at the body limit, through each of the two readers.
void BenchUserList::nested()
{
    QFETCH(bool, fullReader);
    const QByteArray answer = nestedAnswerOf(4 * 1024 * 1024);
    std::optional<QVector<NearByUser>> read;
    QBENCHMARK
    {
        read = fullReader ? readWithStreamReader(answer, {}) : readWithPlainScanner(answer, {});
    }
    QVERIFY(read);
    QCOMPARE(read->size(), 1);
}

QTEST_APPLESS_MAIN(BenchUserList)
#include "bench_userlist.moc"
