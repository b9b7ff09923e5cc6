#include "http/queryparams.h"
#include "api/wirerequests.h"

#include <QtTest>

using namespace Pinrova::Server;

namespace {

const QByteArray Uid = "%7B0123abcd-0000-4000-8000-00000000beef%7D";

QByteArray registerQuery(const QByteArray &replace, const QByteArray &with)
{
    QByteArray query = "uid=" + Uid
        + "&network=vkontakte&id=42&name=Ivan&smallPic=http://pics.example/s.jpg"
          "&mediumPic=http://pics.example/m.jpg&sex=1";
    if (!replace.isEmpty())
        query.replace(replace, with);
    return query;
}

QByteArray repeated(char c, int count)
{
    return QByteArray(count, c);
}

QByteArray manyKeys(int count)
{
    QByteArray keys;
    for (int i = 0; i < count; ++i)
        keys += "&x" + QByteArray::number(i) + "=1";
    return keys;
}

// What a parse gave, in one comparable text: "error: <reason>" or the fields that matter.
QByteArray outcome(const QByteArray &endpoint, const QByteArray &query)
{
    std::string error;
    const auto params = QueryParams::parse(query.toStdString(), &error);
    if (!params)
        return "error: " + QByteArray::fromStdString(error);
    if (endpoint == "Register") {
        const auto parsed = parseRegister(*params);
        if (!parsed.request)
            return "error: " + QByteArray::fromStdString(parsed.error);
        const RegisterRequest &r = *parsed.request;
        return QByteArray::fromStdString(r.uid.toBraced() + " " + std::to_string(r.network) + " "
            + r.id + " [" + r.name + "] " + r.smallPicture + " " + std::to_string(r.sex));
    }
    if (endpoint == "SetPos") {
        const auto parsed = parseSetPos(*params);
        if (!parsed.request)
            return "error: " + QByteArray::fromStdString(parsed.error);
        return QByteArray::number(parsed.request->lat, 'g', 17) + " "
            + QByteArray::number(parsed.request->lon, 'g', 17);
    }
    const auto parsed = parseGetUsers(*params);
    if (!parsed.request)
        return "error: " + QByteArray::fromStdString(parsed.error);
    return QByteArray::number(parsed.request->lat, 'g', 17) + " "
        + QByteArray::number(parsed.request->lon, 'g', 17) + " "
        + QByteArray::number(parsed.request->zoom) + " " + QByteArray::number(parsed.request->width)
        + "x" + QByteArray::number(parsed.request->height)
        + (parsed.request->crowds ? " crowds" : "");
}

} // namespace

class TestWireRequests : public QObject
{
    Q_OBJECT

private slots:
    void parses_data();
    void parses();
};

void TestWireRequests::parses_data()
{
    QTest::addColumn<QByteArray>("endpoint");
    QTest::addColumn<QByteArray>("query");
    // A prefix of the outcome: "error: <reason start>" or the decoded fields.
    QTest::addColumn<QByteArray>("expected");

    const QByteArray ok = "{0123abcd-0000-4000-8000-00000000beef} 1 42 [Ivan] "
                          "http://pics.example/s.jpg 1";
    QTest::newRow("register as the app sends it")
        << QByteArray("Register") << registerQuery({}, {}) << ok;
    QTest::newRow("uid with upper-case digits, stored lower-case")
        << QByteArray("Register") << registerQuery("beef", "BEEF") << ok;
    QTest::newRow("uid unbraced") << QByteArray("Register")
                                  << registerQuery("%7B0123", "0123").replace("%7D", "")
                                  << QByteArray("error: uid is not a braced");
    QTest::newRow("uid one digit short") << QByteArray("Register") << registerQuery("beef", "bee")
                                         << QByteArray("error: uid is not a braced");
    QTest::newRow("uid with a non-hex digit")
        << QByteArray("Register") << registerQuery("beef", "beeg")
        << QByteArray("error: uid is not a braced");
    QTest::newRow("uid null") << QByteArray("Register")
                              << registerQuery(Uid, "%7B00000000-0000-0000-0000-000000000000%7D")
                              << QByteArray("error: uid is the null UUID");
    QTest::newRow("uid missing") << QByteArray("Register") << registerQuery("uid=" + Uid + "&", "")
                                 << QByteArray("error: missing uid");
    QTest::newRow("network in another case")
        << QByteArray("Register") << registerQuery("vkontakte", "VKontakte") << ok;
    QTest::newRow("network display name vk")
        << QByteArray("Register") << registerQuery("vkontakte", "vk")
        << QByteArray("error: network is not a known");
    QTest::newRow("network empty") << QByteArray("Register") << registerQuery("vkontakte", "")
                                   << QByteArray("error: network is not a known");
    QTest::newRow("network odnoklassniki as the app spells it")
        << QByteArray("Register") << registerQuery("vkontakte", "ondoklassniki")
        << QByteArray("{0123abcd-0000-4000-8000-00000000beef} 4 42");
    QTest::newRow("id empty") << QByteArray("Register") << registerQuery("id=42", "id=")
                              << QByteArray("error: id is empty");
    QTest::newRow("id 128 bytes") << QByteArray("Register")
                                  << registerQuery("id=42", "id=" + repeated('7', 128))
                                  << QByteArray("{0123abcd-0000-4000-8000-00000000beef} 1 7777");
    QTest::newRow("id 129 bytes") << QByteArray("Register")
                                  << registerQuery("id=42", "id=" + repeated('7', 129))
                                  << QByteArray("error: id is longer than 128");
    QTest::newRow("name empty") << QByteArray("Register") << registerQuery("Ivan", "")
                                << QByteArray("{0123abcd-0000-4000-8000-00000000beef} 1 42 [] ");
    QTest::newRow("name 256 bytes")
        << QByteArray("Register") << registerQuery("Ivan", repeated('n', 256))
        << QByteArray("{0123abcd-0000-4000-8000-00000000beef} 1 42 [nnn");
    QTest::newRow("name 257 bytes cut to 256")
        << QByteArray("Register") << registerQuery("Ivan", repeated('n', 257))
        << "{0123abcd-0000-4000-8000-00000000beef} 1 42 [" + repeated('n', 256) + "] ";
    QTest::newRow("name 128 Cyrillic letters are 256 bytes")
        << QByteArray("Register") << registerQuery("Ivan", QByteArray("%D0%98").repeated(128))
        << QByteArray("{0123abcd-0000-4000-8000-00000000beef} 1 42 [ИИИ");
    QTest::newRow("name 129 Cyrillic letters are 258 bytes, cut to 128")
        << QByteArray("Register") << registerQuery("Ivan", QByteArray("%D0%98").repeated(129))
        << "{0123abcd-0000-4000-8000-00000000beef} 1 42 [" + QByteArray("\xD0\x98").repeated(128)
            + "] ";
    QTest::newRow("name cut before a letter its limit would split")
        << QByteArray("Register") << registerQuery("Ivan", repeated('n', 255) + "%D0%98")
        << "{0123abcd-0000-4000-8000-00000000beef} 1 42 [" + repeated('n', 255) + "] ";
    QTest::newRow("name cut before an emoji its limit would split")
        << QByteArray("Register")
        << registerQuery("Ivan", "n" + QByteArray("%F0%9F%98%80").repeated(64))
        << "{0123abcd-0000-4000-8000-00000000beef} 1 42 [n"
            + QByteArray("\xF0\x9F\x98\x80").repeated(63) + "] ";
    QTest::newRow("name long and invalid UTF-8 past the limit")
        << QByteArray("Register") << registerQuery("Ivan", repeated('n', 300) + "%C0%AF")
        << QByteArray("error: name is not valid UTF-8");
    QTest::newRow("name Cyrillic decoded")
        << QByteArray("Register")
        << registerQuery("Ivan", "%D0%98%D0%B2%D0%B0%D0%BD%20%D0%9F%D0%B5%D1%82%D1%80%D0%BE%D0%B2")
        << QByteArray("{0123abcd-0000-4000-8000-00000000beef} 1 42 [Иван Петров] ");
    QTest::newRow("name with encoded & = + stays one value")
        << QByteArray("Register") << registerQuery("Ivan", "Tom%26Jerry%3D%2B1+2")
        << QByteArray("{0123abcd-0000-4000-8000-00000000beef} 1 42 [Tom&Jerry=+1+2] ");
    QTest::newRow("name with a truncated UTF-8 sequence")
        << QByteArray("Register") << registerQuery("Ivan", "Iv%D0")
        << QByteArray("error: name is not valid UTF-8");
    QTest::newRow("name with an overlong slash")
        << QByteArray("Register") << registerQuery("Ivan", "%C0%AF")
        << QByteArray("error: name is not valid UTF-8");
    QTest::newRow("name with a surrogate")
        << QByteArray("Register") << registerQuery("Ivan", "%ED%A0%80")
        << QByteArray("error: name is not valid UTF-8");
    QTest::newRow("name with a control character XML cannot carry, made a space")
        << QByteArray("Register") << registerQuery("Ivan", "Iv%01an")
        << QByteArray("{0123abcd-0000-4000-8000-00000000beef} 1 42 [Iv an] ");
    QTest::newRow("name with a newline, tab, NUL and DEL, made spaces")
        << QByteArray("Register") << registerQuery("Ivan", "I%0Av%09a%00n%7F")
        << QByteArray("{0123abcd-0000-4000-8000-00000000beef} 1 42 [I v a n ] ");
    QTest::newRow("name with an emoji")
        << QByteArray("Register") << registerQuery("Ivan", "%F0%9F%98%80")
        << QByteArray("{0123abcd-0000-4000-8000-00000000beef} 1 42 [😀] ");
    QTest::newRow("picture empty")
        << QByteArray("Register") << registerQuery("http://pics.example/s.jpg", "")
        << QByteArray("{0123abcd-0000-4000-8000-00000000beef} 1 42 [Ivan]  1");
    QTest::newRow("picture https with its own query, encoded")
        << QByteArray("Register")
        << registerQuery("http://pics.example/s.jpg", "https://pics.example/p%3Ftype%3Dsquare")
        << QByteArray("{0123abcd-0000-4000-8000-00000000beef} 1 42 [Ivan] "
                      "https://pics.example/p?type=square 1");
    QTest::newRow("picture with an unencoded stray parameter")
        << QByteArray("Register")
        << registerQuery("http://pics.example/s.jpg", "https://pics.example/p?type=square")
        << QByteArray("{0123abcd");
    QTest::newRow("picture ftp") << QByteArray(
        "Register") << registerQuery("http://pics.example/s.jpg", "ftp://pics.example/s")
                                 << QByteArray("error: smallPic is not an http");
    QTest::newRow("picture javascript")
        << QByteArray("Register")
        << registerQuery("http://pics.example/m.jpg", "javascript:alert(1)")
        << QByteArray("error: mediumPic is not an http");
    QTest::newRow("picture with a space, as QUrl's plain form writes %20")
        << QByteArray("Register")
        << registerQuery("http://pics.example/s.jpg", "http://pics.example/a%20b")
        << QByteArray("{0123abcd-0000-4000-8000-00000000beef} 1 42 [Ivan] "
                      "http://pics.example/a b 1");
    QTest::newRow("picture with a tab")
        << QByteArray("Register")
        << registerQuery("http://pics.example/s.jpg", "http://pics.example/a%09b")
        << QByteArray("error: smallPic is not valid UTF-8 text");
    QTest::newRow("picture 2048 bytes")
        << QByteArray("Register")
        << registerQuery("http://pics.example/s.jpg", "http://p/" + repeated('a', 2048 - 9))
        << QByteArray("{0123abcd");
    QTest::newRow("picture 2049 bytes")
        << QByteArray("Register")
        << registerQuery("http://pics.example/s.jpg", "http://p/" + repeated('a', 2049 - 9))
        << QByteArray("error: smallPic is longer than 2048");
    QTest::newRow("sex 0")
        << QByteArray("Register") << registerQuery("sex=1", "sex=0")
        << QByteArray(
               "{0123abcd-0000-4000-8000-00000000beef} 1 42 [Ivan] http://pics.example/s.jpg 0");
    QTest::newRow("sex 2")
        << QByteArray("Register") << registerQuery("sex=1", "sex=2")
        << QByteArray(
               "{0123abcd-0000-4000-8000-00000000beef} 1 42 [Ivan] http://pics.example/s.jpg 2");
    QTest::newRow("sex 3") << QByteArray("Register") << registerQuery("sex=1", "sex=3")
                           << QByteArray("error: sex is out of range");
    QTest::newRow("sex -1") << QByteArray("Register") << registerQuery("sex=1", "sex=-1")
                            << QByteArray("error: sex is out of range");
    QTest::newRow("sex as text") << QByteArray("Register") << registerQuery("sex=1", "sex=MALE")
                                 << QByteArray("error: sex is not an integer");
    QTest::newRow("key repeated") << QByteArray("Register") << registerQuery({}, {}) + "&id=43"
                                  << QByteArray("error: a query parameter is given twice");
    QTest::newRow("escape with bad hex")
        << QByteArray("Register") << registerQuery("Ivan", "Iv%zzan")
        << QByteArray("error: malformed percent-encoding");
    QTest::newRow("escape cut short") << QByteArray("Register") << registerQuery("Ivan", "Ivan%4")
                                      << QByteArray("error: malformed percent-encoding");
    QTest::newRow("too many parameters")
        << QByteArray("Register") << registerQuery({}, {}) + manyKeys(40)
        << QByteArray("error: too many query parameters");

    const QByteArray setPos = "uid=" + Uid + "&lat=";
    QTest::newRow("setpos as the app sends it")
        << QByteArray("SetPos") << setPos + "59.9441&lon=30.3061"
        << QByteArray("59.944099999999999 30.306100000000001");
    QTest::newRow("setpos exponent form") << QByteArray("SetPos") << setPos + "5e-05&lon=-0"
                                          << QByteArray("5.0000000000000002e-05 0");
    QTest::newRow("lat 90 and lon -180")
        << QByteArray("SetPos") << setPos + "90&lon=-180" << QByteArray("90 -180");
    QTest::newRow("lat above 90") << QByteArray("SetPos") << setPos + "90.0001&lon=0"
                                  << QByteArray("error: lat is out of range");
    QTest::newRow("lat below -90") << QByteArray("SetPos") << setPos + "-90.0001&lon=0"
                                   << QByteArray("error: lat is out of range");
    QTest::newRow("lon above 180") << QByteArray("SetPos") << setPos + "0&lon=180.0001"
                                   << QByteArray("error: lon is out of range");
    QTest::newRow("lat nan") << QByteArray("SetPos") << setPos + "nan&lon=0"
                             << QByteArray("error: lat is not a number");
    QTest::newRow("lon inf") << QByteArray("SetPos") << setPos + "0&lon=inf"
                             << QByteArray("error: lon is not a number");
    QTest::newRow("lat with a comma") << QByteArray("SetPos") << setPos + "59,9&lon=0"
                                      << QByteArray("error: lat is not a number");
    QTest::newRow("lat with trailing text") << QByteArray("SetPos") << setPos + "59.9x&lon=0"
                                            << QByteArray("error: lat is not a number");
    QTest::newRow("lat empty") << QByteArray("SetPos") << setPos + "&lon=0"
                               << QByteArray("error: lat is not a number");
    QTest::newRow("lon missing") << QByteArray("SetPos") << setPos + "1"
                                 << QByteArray("error: missing lon");
    QTest::newRow("setpos null uid")
        << QByteArray("SetPos")
        << QByteArray("uid={00000000-0000-0000-0000-000000000000}&lat=1&lon=1")
        << QByteArray("error: uid is the null UUID");

    QTest::newRow("getusers first request of the app")
        << QByteArray("GetUsers") << QByteArray("lat=0&lon=0&zoomlevel=0")
        << QByteArray("0 0 0 800x480");
    QTest::newRow("getusers with the view's size")
        << QByteArray("GetUsers") << QByteArray("lat=1&lon=2&zoomlevel=13&width=1280&height=723")
        << QByteArray("1 2 13 1280x723");
    QTest::newRow("view size at its bounds")
        << QByteArray("GetUsers") << QByteArray("lat=1&lon=2&zoomlevel=13&width=1&height=4096")
        << QByteArray("1 2 13 1x4096");
    QTest::newRow("height alone") << QByteArray("GetUsers")
                                  << QByteArray("lat=1&lon=2&zoomlevel=13&height=600")
                                  << QByteArray("1 2 13 800x600");
    QTest::newRow("width 0") << QByteArray("GetUsers")
                             << QByteArray("lat=1&lon=2&zoomlevel=13&width=0&height=480")
                             << QByteArray("error: width is out of range");
    QTest::newRow("height 4097") << QByteArray("GetUsers")
                                 << QByteArray("lat=1&lon=2&zoomlevel=13&width=800&height=4097")
                                 << QByteArray("error: height is out of range");
    QTest::newRow("width empty") << QByteArray("GetUsers")
                                 << QByteArray("lat=1&lon=2&zoomlevel=13&width=&height=480")
                                 << QByteArray("error: width is not an integer");
    QTest::newRow("height fractional")
        << QByteArray("GetUsers") << QByteArray("lat=1&lon=2&zoomlevel=13&height=480.5")
        << QByteArray("error: height is not an integer");
    QTest::newRow("crowds asked for")
        << QByteArray("GetUsers") << QByteArray("lat=1&lon=2&zoomlevel=10&crowds=1")
        << QByteArray("1 2 10 800x480 crowds");
    QTest::newRow("crowds 2") << QByteArray("GetUsers")
                              << QByteArray("lat=1&lon=2&zoomlevel=10&crowds=2")
                              << QByteArray("error: crowds is out of range");
    QTest::newRow("zoom 20") << QByteArray("GetUsers") << QByteArray("lat=1&lon=2&zoomlevel=20")
                             << QByteArray("1 2 20 800x480");
    QTest::newRow("zoom 21") << QByteArray("GetUsers") << QByteArray("lat=1&lon=2&zoomlevel=21")
                             << QByteArray("error: zoomlevel is out of range");
    QTest::newRow("zoom -1") << QByteArray("GetUsers") << QByteArray("lat=1&lon=2&zoomlevel=-1")
                             << QByteArray("error: zoomlevel is out of range");
    QTest::newRow("zoom fractional")
        << QByteArray("GetUsers") << QByteArray("lat=1&lon=2&zoomlevel=13.5")
        << QByteArray("error: zoomlevel is not an integer");
    QTest::newRow("zoom huge") << QByteArray("GetUsers")
                               << QByteArray("lat=1&lon=2&zoomlevel=99999999999999999999")
                               << QByteArray("error: zoomlevel is not an integer");
}

void TestWireRequests::parses()
{
    QFETCH(QByteArray, endpoint);
    QFETCH(QByteArray, query);
    QFETCH(QByteArray, expected);
    const QByteArray got = outcome(endpoint, query);
    if (!got.startsWith(expected))
        QFAIL(("got \"" + got.left(300) + "\", expected it to start with \"" + expected + "\"")
                  .constData());
}

QTEST_APPLESS_MAIN(TestWireRequests)
#include "tst_wirerequests.moc"
