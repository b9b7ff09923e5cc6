#include "http/responsehead.h"

#include <QtTest>

using namespace Pinrova::Server;

class TestResponseHead : public QObject
{
    Q_OBJECT

private slots:
    void head_data();
    void head();
};

void TestResponseHead::head_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("retryAfter");
    QTest::addColumn<bool>("keepAlive");
    QTest::addColumn<int>("httpVersion");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray common = "Content-Type: text/plain; charset=utf-8\r\nContent-Length: 3\r\n"
                              "Cache-Control: no-store\r\n";
    QTest::newRow("kept alive") << 200 << 0 << true << 11
                                << "HTTP/1.1 200 OK\r\n" + common + "\r\n";
    QTest::newRow("last answer") << 404 << 0 << false << 11
                                 << "HTTP/1.1 404 Not Found\r\n" + common
            + "Connection: close\r\n\r\n";
    // HTTP/1.0 closes by default: a connection kept open must say so.
    QTest::newRow("1.0 kept alive")
        << 200 << 0 << true << 10
        << "HTTP/1.1 200 OK\r\n" + common + "Connection: keep-alive\r\n\r\n";
    QTest::newRow("1.0 closed") << 200 << 0 << false << 10
                                << "HTTP/1.1 200 OK\r\n" + common + "Connection: close\r\n\r\n";
    QTest::newRow("wrong method") << 405 << 0 << true << 11
                                  << "HTTP/1.1 405 Method Not Allowed\r\n" + common
            + "Allow: GET\r\n\r\n";
    QTest::newRow("busy") << 503 << 1 << true << 11
                          << "HTTP/1.1 503 Service Unavailable\r\n" + common
            + "Retry-After: 1\r\n\r\n";
}

void TestResponseHead::head()
{
    QFETCH(int, status);
    QFETCH(int, retryAfter);
    QFETCH(bool, keepAlive);
    QFETCH(int, httpVersion);
    QFETCH(QByteArray, expected);

    WebReply reply = WebReply::text(status, "ab");
    reply.retryAfterSeconds = retryAfter;
    // A buffer that held a longer head before: nothing of it may remain.
    std::string head(300, 'x');
    writeResponseHead(head, reply, keepAlive, static_cast<unsigned>(httpVersion));
    QCOMPARE(QByteArray::fromStdString(head), expected);
}

QTEST_GUILESS_MAIN(TestResponseHead)
#include "tst_responsehead.moc"
