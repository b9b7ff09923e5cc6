#include <QDir>
#include <QDirIterator>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

#include <chrono>

#include "httpserver.h"
#include "rawtcpserver.h"
#include "requestreplystack.h"
#include "testsupport.h"

using namespace Pinrova::Network;
using namespace Pinrova::Testing;
using namespace std::chrono_literals;

namespace {

// Collects the replies a stack hands back and can release each one as it arrives, as owners do.
class Owner : public QObject
{
public:
    explicit Owner(RequestReplyStack *stack, bool release)
        : stack(stack)
        , release(release)
    {
        connect(stack, &RequestReplyStack::reply, this, &Owner::take);
    }

    struct Seen
    {
        QUrl url;
        QNetworkReply::NetworkError error;
        int status;
        QByteArray body;
        QVariant tag;
        QUrl redirect;
        int pendingWhileDelivered;
    };

    QVector<Seen> seen;
    std::function<void(QNetworkReply *)> extra;

private:
    void take(QNetworkReply *reply)
    {
        seen.append({reply->request().url(), reply->error(),
            reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(),
            reply->request().attribute(QNetworkRequest::User),
            reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl(),
            stack->pendingCount()});
        if (extra)
            extra(reply);
        if (release)
            stack->releaseReply(reply);
    }

    RequestReplyStack *stack;
    bool release;
};

int cacheFileCount()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    int count = 0;
    for (QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories); it.hasNext();
         it.next())
        ++count;
    return count;
}

} // namespace

class TestRequestReplyStack : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void oneReplyPerRequest_data();
    void oneReplyPerRequest();
    void requestGoesOutAsGiven();
    void pendingDropsOnlyOnRelease();
    void releasingAStrangerDeletesItLater();
    void replyDeletedByItsOwner();
    void deleteAllDropsRunningRequests();
    void deleteAllFromTheReplySlot();
    void destroyingWithRequestsRunning();
    void repliesAreCachedInTheCacheLocation();
    void bodyLimit_data();
    void bodyLimit();
    void deadline_data();
    void deadline();

private:
    QUrl url(const char *path) const { return QUrl(baseUrl(server) + QLatin1String(path)); }

    HttpServer server;
};

void TestRequestReplyStack::initTestCase()
{
    useCleanTestPaths();
    QVERIFY(server.start());
    server.route("/ok", [](const HttpRequest &) { return HttpResponse::ok("hello"); });
    server.route("/missing", [](const HttpRequest &) { return HttpResponse::error(404, "no"); });
    server.route("/broken", [](const HttpRequest &) { return HttpResponse::error(500, "oops"); });
    server.route("/moved", [](const HttpRequest &) { return HttpResponse::redirect("/ok"); });
    server.route("/drop", [](const HttpRequest &) { return HttpResponse::drop(); });
    server.route(
        "/slow", [](const HttpRequest &) { return HttpResponse::ok("late").withDelay(400ms); });
    server.route("/sized", [](const HttpRequest &request) {
        HttpResponse response
            = HttpResponse::ok(std::string(std::stoul(request.queryValue("bytes")), 'x'));
        if (request.hasQueryKey("chunked"))
            response.withChunkedBody();
        return response;
    });
    // 64 MiB of zeros in 64 KiB of deflate.
    const QByteArray deflated = qCompress(QByteArray(64 * 1024 * 1024, '\0')).mid(4);
    server.route("/bomb", [deflated](const HttpRequest &) {
        return HttpResponse::ok(deflated.toStdString(), "image/png")
            .withHeader("Content-Encoding", "deflate");
    });
    server.route("/cached", [](const HttpRequest &) {
        return HttpResponse::ok("keep me").withHeader("Cache-Control", "max-age=600");
    });
}

void TestRequestReplyStack::init()
{
    server.clearLog();
}

void TestRequestReplyStack::oneReplyPerRequest_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("error");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("success") << "/ok" << 200 << int(QNetworkReply::NoError) << QByteArray("hello");
    QTest::newRow("not found") << "/missing" << 404 << int(QNetworkReply::ContentNotFoundError)
                               << QByteArray("no");
    QTest::newRow("server error") << "/broken" << 500 << int(QNetworkReply::InternalServerError)
                                  << QByteArray("oops");
    // The stack does not follow redirects: the owner sees the 302 itself.
    QTest::newRow("redirect not followed")
        << "/moved" << 302 << int(QNetworkReply::NoError) << QByteArray(); // body not checked
    QTest::newRow("connection dropped")
        << "/drop" << 0 << int(QNetworkReply::RemoteHostClosedError) << QByteArray("");
}

void TestRequestReplyStack::oneReplyPerRequest()
{
    QFETCH(QString, path);
    QFETCH(int, status);
    QFETCH(int, error);
    QFETCH(QByteArray, body);

    RequestReplyStack stack;
    Owner owner(&stack, true);
    stack.get(QNetworkRequest(QUrl(baseUrl(server) + path)));
    QTRY_COMPARE(owner.seen.size(), 1);
    QTest::qWait(100); // a second emission would show here
    QCOMPARE(owner.seen.size(), 1);
    QCOMPARE(owner.seen[0].status, status);
    QCOMPARE(int(owner.seen[0].error), error);
    if (!body.isNull())
        QCOMPARE(owner.seen[0].body, body);
    if (path == QLatin1String("/moved"))
        QCOMPARE(owner.seen[0].redirect, QUrl("/ok"));
    // Qt resends a GET once when the connection closes before an answer.
    QVERIFY(server.requestCount() >= 1);
    QCOMPARE(stack.pendingCount(), 0);
}

void TestRequestReplyStack::requestGoesOutAsGiven()
{
    RequestReplyStack stack;
    Owner owner(&stack, true);
    QNetworkRequest request(url("/ok?user=7"));
    request.setRawHeader("User-Agent", "Pinrova. Qt mobile application.");
    request.setAttribute(QNetworkRequest::User, 42);
    stack.get(request);
    // A refused connection is a failure like any other.
    QNetworkRequest refused(QUrl(QStringLiteral("http://127.0.0.1:1/nothing")));
    refused.setAttribute(QNetworkRequest::User, -1);
    stack.get(refused);

    QTRY_COMPARE(owner.seen.size(), 2);
    QHash<int, QNetworkReply::NetworkError> errors;
    for (const Owner::Seen &seen : owner.seen)
        errors.insert(seen.tag.toInt(), seen.error);
    QCOMPARE(errors.value(42), QNetworkReply::NoError);
    QCOMPARE(errors.value(-1), QNetworkReply::ConnectionRefusedError);

    const std::vector<HttpRequest> log = server.requests();
    QCOMPARE(int(log.size()), 1);
    QCOMPARE(log[0].method, std::string("GET"));
    QCOMPARE(log[0].target, std::string("/ok?user=7"));
    QCOMPARE(log[0].header("User-Agent"), std::string("Pinrova. Qt mobile application."));
}

void TestRequestReplyStack::pendingDropsOnlyOnRelease()
{
    RequestReplyStack stack;
    Owner owner(&stack, false);
    stack.get(QNetworkRequest(url("/ok")));
    stack.get(QNetworkRequest(url("/missing")));
    QCOMPARE(stack.pendingCount(), 2);
    QTRY_COMPARE(owner.seen.size(), 2);
    QCOMPARE(owner.seen[0].pendingWhileDelivered, 2);
    QTest::qWait(50);
    QCOMPARE(stack.pendingCount(), 2); // finished, but still the stack's

    const QList<QNetworkReply *> replies = stack.findChildren<QNetworkReply *>();
    QCOMPARE(replies.size(), 2);
    QPointer<QNetworkReply> first = replies[0];
    stack.releaseReply(first);
    QCOMPARE(stack.pendingCount(), 1);
    QVERIFY(first); // deleted on the next pass of the event loop, not at once
    QTRY_VERIFY(!first);
    stack.releaseReply(replies[1]);
    QCOMPARE(stack.pendingCount(), 0);
}

void TestRequestReplyStack::releasingAStrangerDeletesItLater()
{
    RequestReplyStack stack;
    Owner owner(&stack, false);
    stack.get(QNetworkRequest(url("/ok")));
    QTRY_COMPARE(owner.seen.size(), 1);

    QNetworkAccessManager other;
    QPointer<QNetworkReply> stranger = other.get(QNetworkRequest(url("/ok")));
    stack.releaseReply(stranger);
    stack.releaseReply(nullptr);
    QCOMPARE(stack.pendingCount(), 1);
    QTRY_VERIFY(!stranger);
    QCOMPARE(stack.pendingCount(), 1);
    QCOMPARE(owner.seen.size(), 1);
}

void TestRequestReplyStack::replyDeletedByItsOwner()
{
    auto *stack = new RequestReplyStack;
    Owner owner(stack, false);
    stack->get(QNetworkRequest(url("/ok")));
    stack->get(QNetworkRequest(url("/slow")));
    QTRY_COMPARE(owner.seen.size(), 1);
    delete stack->findChildren<QNetworkReply *>().at(0);
    QCOMPARE(stack->pendingCount(), 1);
    delete stack; // must not delete the first reply again
}

void TestRequestReplyStack::deleteAllDropsRunningRequests()
{
    QPointer<QNetworkReply> finished;
    QList<QPointer<QNetworkReply>> running;
    {
        RequestReplyStack stack;
        Owner owner(&stack, false);
        stack.get(QNetworkRequest(url("/ok")));
        QTRY_COMPARE(owner.seen.size(), 1);
        finished = stack.findChild<QNetworkReply *>();
        stack.get(QNetworkRequest(url("/slow")));
        stack.get(QNetworkRequest(url("/slow")));
        for (QNetworkReply *reply : stack.findChildren<QNetworkReply *>()) {
            if (reply != finished)
                running << reply;
        }
        QCOMPARE(running.size(), 2);
        QTRY_COMPARE(server.requestsInFlight(), 2);

        stack.deleteAllReplies();
        QCOMPARE(stack.pendingCount(), 0);
        QVERIFY(!finished);
        for (const QPointer<QNetworkReply> &reply : running)
            QVERIFY(!reply);

        QTest::qWait(600); // past the server's answer
        QCOMPARE(owner.seen.size(), 1);
        stack.deleteAllReplies(); // nothing left to delete
    } // destroying the stack now deletes nothing twice
    QVERIFY(!finished);
}

void TestRequestReplyStack::deleteAllFromTheReplySlot()
{
    RequestReplyStack stack;
    Owner owner(&stack, false);
    QPointer<QNetworkReply> delivered;
    owner.extra = [&](QNetworkReply *reply) {
        delivered = reply;
        stack.deleteAllReplies();
    };
    stack.get(QNetworkRequest(url("/ok")));
    stack.get(QNetworkRequest(url("/slow")));
    QTRY_COMPARE(owner.seen.size(), 1);
    QCOMPARE(owner.seen[0].url, url("/ok"));
    QCOMPARE(stack.pendingCount(), 0);
    // The reply being delivered survives its own signal and goes on the next pass.
    QTRY_VERIFY(!delivered);
    QTest::qWait(600);
    QCOMPARE(owner.seen.size(), 1);
}

void TestRequestReplyStack::destroyingWithRequestsRunning()
{
    auto *stack = new RequestReplyStack;
    Owner owner(stack, true);
    stack->get(QNetworkRequest(url("/slow")));
    stack->get(QNetworkRequest(url("/slow")));
    QList<QPointer<QNetworkReply>> replies;
    for (QNetworkReply *reply : stack->findChildren<QNetworkReply *>())
        replies << reply;
    QCOMPARE(replies.size(), 2);
    QTRY_COMPARE(server.requestsInFlight(), 2);

    delete stack;
    for (const QPointer<QNetworkReply> &reply : replies)
        QVERIFY(!reply);
    QTest::qWait(600);
    QCOMPARE(owner.seen.size(), 0);
}

void TestRequestReplyStack::repliesAreCachedInTheCacheLocation()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    QVERIFY(folder.contains(QLatin1String("qttest"))); // never the user's own cache
    const int before = cacheFileCount();
    // An owner whose requests carry credentials keeps them off the disk.
    for (const bool save : {false, true}) {
        RequestReplyStack stack;
        stack.setSavingToDisk(save);
        Owner owner(&stack, true);
        stack.get(QNetworkRequest(url("/cached")));
        QTRY_COMPARE(owner.seen.size(), 1);
        QCOMPARE(owner.seen[0].body, QByteArray("keep me"));
        QCOMPARE(cacheFileCount() > before, save);
    }

    // Another stack in the process reads the same cache folder.
    RequestReplyStack stack;
    bool fromCache = false;
    Owner owner(&stack, false);
    owner.extra = [&](QNetworkReply *reply) {
        fromCache = reply->attribute(QNetworkRequest::SourceIsFromCacheAttribute).toBool();
        stack.releaseReply(reply);
    };
    server.clearLog();
    QNetworkRequest request(url("/cached"));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysCache);
    stack.get(request);
    QTRY_COMPARE(owner.seen.size(), 1);
    QVERIFY(fromCache);
    QCOMPARE(owner.seen[0].body, QByteArray("keep me"));
    QCOMPARE(int(server.requestCount()), 0);
}

void TestRequestReplyStack::bodyLimit_data()
{
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<int>("bytes"); // -1: the deflate bomb
    QTest::addColumn<bool>("delivered");
    QTest::addColumn<bool>("chunked"); // no Content-Length: only the arriving bytes tell

    QTest::newRow("no limit") << qint64(0) << 3 * 1024 * 1024 << true << false;
    QTest::newRow("exactly the limit") << qint64(1000) << 1000 << true << false;
    QTest::newRow("one byte over") << qint64(1000) << 1001 << false << false;
    QTest::newRow("far over") << qint64(64 * 1024) << 16 * 1024 * 1024 << false << false;
    QTest::newRow("chunked, exactly the limit") << qint64(1000) << 1000 << true << true;
    QTest::newRow("chunked, one byte over") << qint64(1000) << 1001 << false << true;
    QTest::newRow("chunked, far over") << qint64(64 * 1024) << 16 * 1024 * 1024 << false << true;
    // Left compressed: inflated, it would pass every limit before one could look at it.
    QTest::newRow("compressed body") << qint64(1024 * 1024) << -1 << true << false;
}

void TestRequestReplyStack::bodyLimit()
{
    QFETCH(qint64, limit);
    QFETCH(int, bytes);
    QFETCH(bool, delivered);
    QFETCH(bool, chunked);

    RequestReplyStack stack;
    stack.setMaximumBodyBytes(limit);
    Owner owner(&stack, true);
    const QString path = bytes < 0
        ? QStringLiteral("/bomb")
        : "/sized?bytes=" + QString::number(bytes) + (chunked ? "&chunked" : "");
    stack.get(QNetworkRequest(QUrl(baseUrl(server) + path)));
    QTRY_COMPARE_WITH_TIMEOUT(owner.seen.size(), 1, 20000);
    if (delivered) {
        QCOMPARE(int(owner.seen[0].error), int(QNetworkReply::NoError));
        if (bytes >= 0) {
            QCOMPARE(owner.seen[0].body.size(), bytes);
        } else {
            QVERIFY(owner.seen[0].body.size() < 1024 * 1024);
            QCOMPARE(server.requests().back().header("Accept-Encoding"), std::string("identity"));
        }
    } else {
        // Still exactly one reply, failed, with nothing like the whole body kept.
        QCOMPARE(int(owner.seen[0].error), int(QNetworkReply::OperationCanceledError));
        QVERIFY(owner.seen[0].body.size() <= qMax<qint64>(limit, 1024 * 1024));
    }
}

void TestRequestReplyStack::deadline_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("delivered");

    QTest::newRow("answered in time") << "/ok" << true;
    // Bytes keep coming, so no stall limit would fire.
    QTest::newRow("trickling past the deadline") << "/trickle" << false;
}

void TestRequestReplyStack::deadline()
{
    QFETCH(QString, path);
    QFETCH(bool, delivered);

    RawTcpServer trickling;
    QVERIFY(trickling.start());
    trickling.setScript([](const QByteArray &) {
        RawAnswer answer;
        answer.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n";
        answer.trickle = "x";
        answer.pieceIntervalMs = 20;
        answer.repeatTrickle = true;
        return answer;
    });
    RequestReplyStack stack;
    stack.setDeadline(800);
    stack.setMaximumBodyBytes(1024 * 1024);
    Owner owner(&stack, true);
    QNetworkRequest request(
        path == QLatin1String("/ok") ? url("/ok") : QUrl(trickling.baseUrl() + path));
    request.setTransferTimeout(5000);
    stack.get(request);
    QTRY_COMPARE_WITH_TIMEOUT(owner.seen.size(), 1, 20000);
    QCOMPARE(owner.seen[0].error == QNetworkReply::NoError, delivered);
    if (!delivered)
        QCOMPARE(int(owner.seen[0].error), int(QNetworkReply::OperationCanceledError));
    // One reply only, however long the timer runs.
    QTest::qWait(1000);
    QCOMPARE(owner.seen.size(), 1);
}

QTEST_GUILESS_MAIN(TestRequestReplyStack)
#include "tst_requestreplystack.moc"
