#include <QBuffer>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <mutex>

#include "nearbyuserlist.h"
#include "getusersanswer.h"
#include "testsupport.h"

using namespace Pinrova::Social;
using namespace Pinrova::Testing;
using namespace std::chrono_literals;

namespace {

const char *const ServicePath = "/PosService/PosService.svc/GetUsers";
const char *const TestKey = "q7Vd0-3mW_kP2xYc9LzR4nTa8sBf6hGj1uEo5iXlKwQ";

// One User element with a Facebook identifier and a picture under the test server.
std::string user(const std::string &id, const std::string &picture, double lat = 59.9)
{
    return "<User><Lat>" + std::to_string(lat) + "</Lat><Lon>30.3</Lon><Name>" + id
        + "</Name><SmallPicture>" + picture + "</SmallPicture><UserIds><UserId><Id>" + id
        + "</Id><NetworkType>facebook</NetworkType></UserId></UserIds></User>";
}

std::string list(const std::string &users)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><ArrayOfUser>" + users + "</ArrayOfUser>";
}

QVector<NearByUser> snapshot(NearByUserList &list)
{
    list.lockForRead();
    const QVector<NearByUser> users = list.users();
    list.unlock();
    return users;
}

} // namespace

class TestNearByUserList : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void getUsersRequest_data();
    void getUsersRequest();
    void asksOnlyWithAKey();
    void picturesOneAtATimeAndKeptAcrossRefreshes();
    void refreshDropsRunningPicture();
    void brokenPictures_data();
    void brokenPictures();
    void oversizedAnswerKeepsTheList();

private:
    std::vector<std::string> requestedPaths() const;
    std::string pic(const char *path) const { return server.baseUrl() + path; }

    HttpServer server;
    ScriptedBody answer; // set by the test thread, read by the server's
    std::atomic<int> answerStatus {200};
    QTemporaryFile localPicture;
};

void TestNearByUserList::initTestCase()
{
    useCleanTestPaths();
    server.route(ServicePath, [this](const HttpRequest &) {
        HttpResponse response = HttpResponse::ok(answer.get(), "text/xml");
        response.status = answerStatus;
        return response;
    });
    const std::string red = toStd(pngBytes(Qt::red, 50));
    const std::string green = toStd(pngBytes(Qt::green, 50));
    const std::string huge = toStd(pngBytes(Qt::blue, NearByUserList::MaximumPictureEdge + 1));
    server.route("/red", [red](const HttpRequest &) { return HttpResponse::ok(red, "image/png"); });
    server.route("/green", [green](const HttpRequest &) {
        return HttpResponse::ok(green, "image/png").withDelay(50ms);
    });
    server.route("/slow", [red](const HttpRequest &) {
        return HttpResponse::ok(red, "image/png").withDelay(1500ms);
    });
    server.route(
        "/huge", [huge](const HttpRequest &) { return HttpResponse::ok(huge, "image/png"); });
    // VKontakte's default avatars are GIFs, whose size Qt reads by seeking.
    const std::string gif("GIF89a\x02\x00\x02\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff"
                          "\x2c\x00\x00\x00\x00\x02\x00\x02\x00\x00\x02\x02\x44\x01\x00\x3b",
        35);
    server.route("/gif", [gif](const HttpRequest &) { return HttpResponse::ok(gif, "image/gif"); });
    QByteArray jpegBytes;
    QBuffer jpegBuffer(&jpegBytes);
    jpegBuffer.open(QIODevice::WriteOnly);
    QImage jpegImage(50, 50, QImage::Format_RGB32);
    jpegImage.fill(Qt::red);
    QVERIFY(jpegImage.save(&jpegBuffer, "JPEG"));
    const std::string jpeg = toStd(jpegBytes);
    server.route(
        "/jpeg", [jpeg](const HttpRequest &) { return HttpResponse::ok(jpeg, "image/jpeg"); });
    server.route("/text", [](const HttpRequest &) { return HttpResponse::ok("not a picture"); });
    // A picture on this machine's disk, which only a redirect could point the list at.
    QVERIFY(localPicture.open());
    localPicture.write(pngBytes(Qt::red, 50));
    localPicture.flush();
    const std::string local = toStd(QUrl::fromLocalFile(localPicture.fileName()).toEncoded());
    server.route("/local", [local](const HttpRequest &) { return HttpResponse::redirect(local); });
    server.route("/missing", [](const HttpRequest &) { return HttpResponse::error(404); });
    server.route("/loop", [](const HttpRequest &) { return HttpResponse::redirect("/loop"); });
    // /hop/N redirects N times (relative targets), then answers the picture.
    server.routePrefix("/hop/", [red](const HttpRequest &request) {
        const int left = std::stoi(request.path.substr(5));
        if (left == 0)
            return HttpResponse::ok(red, "image/png");
        return HttpResponse::redirect(std::to_string(left - 1));
    });
    QVERIFY(server.start());
    qputenv("PINROVA_POSITION_SERVICE", baseUrl(server).toUtf8());
}

void TestNearByUserList::init()
{
    answer.set(list(""));
    server.clearLog();
}

std::vector<std::string> TestNearByUserList::requestedPaths() const
{
    std::vector<std::string> paths;
    for (const HttpRequest &request : server.requests())
        paths.push_back(request.path);
    return paths;
}

void TestNearByUserList::getUsersRequest_data()
{
    QTest::addColumn<bool>("withArguments");
    QTest::addColumn<QSize>("view");
    QTest::addColumn<bool>("placed");
    QTest::addColumn<QString>("query");

    QTest::newRow("before any argument") << false << QSize() << false << "lat=0&lon=0&zoomlevel=0";
    QTest::newRow("the map's centre")
        << true << QSize() << false << "lat=59.9441&lon=30.3061&zoomlevel=13";
    QTest::newRow("with the view's size")
        << true << QSize(1258, 731) << false
        << "lat=59.9441&lon=30.3061&zoomlevel=13&width=1258&height=731";
    QTest::newRow("view edges kept within the service's range")
        << true << QSize(9000, 1) << false
        << "lat=59.9441&lon=30.3061&zoomlevel=13&width=4096&height=1";
    // The follower moved the map: the refresh asks about where it shows now.
    QTest::newRow("refresh after the map was re-centred")
        << false << QSize(800, 480) << true
        << "lat=59.95&lon=30.32&zoomlevel=14&width=800&height=480";
}

void TestNearByUserList::getUsersRequest()
{
    QFETCH(bool, withArguments);
    QFETCH(QSize, view);
    QFETCH(bool, placed);
    QFETCH(QString, query);

    NearByUserList users;
    users.setSessionKey(TestKey);
    users.setViewSize(view);
    if (placed)
        users.setPlace(59.95, 30.32, 14);
    QTest::qWait(20);
    QCOMPARE(server.requestCount(), std::size_t(0)); // placing alone asks nothing
    if (withArguments)
        users.updateUserList(59.944069, 30.306141, 13);
    else
        users.updateUserList();
    QTRY_COMPARE(server.requestCount(), std::size_t(1));
    const HttpRequest request = server.requests().front();
    QCOMPARE(request.path, std::string(ServicePath));
    QCOMPARE(QString::fromStdString(request.query), query);
    QCOMPARE(request.header("User-Agent"), std::string("Pinrova. Qt mobile application."));
    QCOMPARE(request.header("Authorization"), std::string("Bearer ") + TestKey);
}

void TestNearByUserList::asksOnlyWithAKey()
{
    NearByUserList users;
    QSignalSpy refused(&users, &NearByUserList::sessionKeyRefused);
    users.updateUserList(59.944069, 30.306141, 13);
    QTest::qWait(100);
    QCOMPARE(server.requestCount(), std::size_t(0));

    // The key comes: the list asks at once.
    users.setSessionKey("first");
    QTRY_COMPARE(server.requestCount(), std::size_t(1));
    QCOMPARE(server.requests().front().header("Authorization"), std::string("Bearer first"));

    // Refused: told once, with the key, and nothing more is asked until a new one comes.
    answerStatus = 401;
    users.updateUserList();
    QTRY_COMPARE(refused.count(), 1);
    QCOMPARE(refused[0][0].toByteArray(), QByteArray("first"));
    users.updateUserList();
    QTest::qWait(100);
    QCOMPARE(server.requestCount(), std::size_t(2));
    answerStatus = 200;
    users.setSessionKey("second");
    QTRY_COMPARE(server.requestCount(), std::size_t(3));
    QCOMPARE(server.requests().back().header("Authorization"), std::string("Bearer second"));
    QCOMPARE(refused.count(), 1);
}

void TestNearByUserList::picturesOneAtATimeAndKeptAcrossRefreshes()
{
    answer.set(list(user("1", pic("/green")) + user("2", pic("/red")) + user("3", pic("/green"))));
    NearByUserList users;
    users.setSessionKey(TestKey);
    QSignalSpy changed(&users, &NearByUserList::userListChanged);
    users.updateUserList(59.9, 30.3, 13);
    // Once for the answer, once for each picture.
    QTRY_COMPARE(changed.count(), 4);

    const std::vector<std::string> order {ServicePath, "/green", "/red", "/green"};
    QCOMPARE(requestedPaths(), order);
    QCOMPARE(server.maxRequestsInFlight(), 1);
    for (const HttpRequest &request : server.requests())
        QCOMPARE(request.header("User-Agent"), std::string("Pinrova. Qt mobile application."));
    const QVector<NearByUser> first = snapshot(users);
    QCOMPARE(first.size(), 3);
    QCOMPARE(first[0].picture.pixelColor(0, 0), QColor(Qt::green));
    QCOMPARE(first[1].picture.pixelColor(0, 0), QColor(Qt::red));
    QCOMPARE(first[2].picture.pixelColor(0, 0), QColor(Qt::green));

    // The same people, moved, one of them renamed by the service: nothing is downloaded again.
    server.clearLog();
    answer.set(list(user("3", pic("/red"), 10) + user("1", pic("/red"), 11)));
    users.updateUserList();
    QTRY_COMPARE(snapshot(users).size(), 2);
    QTest::qWait(100);
    QCOMPARE(requestedPaths(), std::vector<std::string> {ServicePath});
    const QVector<NearByUser> second = snapshot(users);
    QCOMPARE(second[0].person.name, QStringLiteral("3"));
    QCOMPARE(second[0].lat, 10.0);
    QCOMPARE(second[0].picture.pixelColor(0, 0), QColor(Qt::green));
    QCOMPARE(second[1].lat, 11.0);
    QCOMPARE(changed.count(), 5); // the moves are announced, though no picture came

    // Nobody around: the list empties, and the map hears of it.
    answer.set(list(""));
    users.updateUserList();
    QTRY_VERIFY(snapshot(users).isEmpty());
    QCOMPARE(changed.count(), 6);
}

void TestNearByUserList::refreshDropsRunningPicture()
{
    answer.set(list(user("1", pic("/slow"))));
    NearByUserList users;
    users.setSessionKey(TestKey);
    QSignalSpy changed(&users, &NearByUserList::userListChanged);
    users.updateUserList();
    QTRY_COMPARE(users.pictureInFlight(), QUrl(QString::fromStdString(pic("/slow"))));
    QTRY_COMPARE(server.requestsInFlight(), 1);

    users.updateUserList();
    QVERIFY(users.pictureInFlight().isEmpty());
    // Two answers, one picture.
    QTRY_VERIFY(changed.count() == 3);
    QCOMPARE(
        requestedPaths(), (std::vector<std::string> {ServicePath, "/slow", ServicePath, "/slow"}));
    QVERIFY(!snapshot(users).front().picture.isNull());
    QVERIFY(users.pictureInFlight().isEmpty());
}

void TestNearByUserList::brokenPictures_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("loads");
    QTest::addColumn<int>("requestsPerAnswer");

    QTest::newRow("GIF") << QByteArray("/gif") << true << 1;
    QTest::newRow("JPEG") << QByteArray("/jpeg") << true << 1;
    QTest::newRow("three redirects") << QByteArray("/hop/3") << true << 4;
    QTest::newRow("five redirects") << QByteArray("/hop/5") << true << 6;
    QTest::newRow("six redirects") << QByteArray("/hop/6") << false << 6;
    QTest::newRow("redirect loop") << QByteArray("/loop") << false << 6;
    QTest::newRow("not found") << QByteArray("/missing") << false << 1;
    QTest::newRow("not an image") << QByteArray("/text") << false << 1;
    QTest::newRow("too many pixels") << QByteArray("/huge") << false << 1;
    QTest::newRow("redirect to a local file") << QByteArray("/local") << false << 1;
}

void TestNearByUserList::brokenPictures()
{
    QFETCH(QByteArray, path);
    QFETCH(bool, loads);
    QFETCH(int, requestsPerAnswer);

    answer.set(list(user("1", pic(path.constData())) + user("2", pic("/red"))));
    NearByUserList users;
    users.setSessionKey(TestKey);
    QSignalSpy changed(&users, &NearByUserList::userListChanged);
    // A failed picture is not asked again before the next answer, which asks once more; the
    // next person still gets theirs, once.
    for (int answers = 1; answers <= 2; ++answers) {
        users.updateUserList();
        // One signal per answer and one per picture reply; a loaded picture is not fetched again.
        QTRY_COMPARE(changed.count(), loads ? 2 + answers : 1 + 2 * answers);
        QTest::qWait(200);
        const int picturesAsked = int(server.requestCount()) - answers;
        QCOMPARE(picturesAsked, loads ? requestsPerAnswer + 1 : answers * requestsPerAnswer + 1);
        const QVector<NearByUser> current = snapshot(users);
        QCOMPARE(current[0].picture.isNull(), !loads);
        QVERIFY(!current[1].picture.isNull());
    }
}

void TestNearByUserList::oversizedAnswerKeepsTheList()
{
    answer.set(list(user("1", "")));
    NearByUserList users;
    users.setSessionKey(TestKey);
    users.updateUserList();
    QTRY_COMPARE(snapshot(users).size(), 1);

    const std::string padding(std::size_t(NearByUserList::MaximumBodyBytes), ' ');
    answer.set(list(user("2", "") + padding + user("3", "")));
    users.updateUserList();
    QTRY_COMPARE(server.requestCount(), std::size_t(2));
    QTest::qWait(500);
    const QVector<NearByUser> current = snapshot(users);
    QCOMPARE(current.size(), 1);
    QCOMPARE(current[0].person.name, QStringLiteral("1"));
}

QTEST_MAIN(TestNearByUserList)
#include "tst_nearbyuserlist.moc"
