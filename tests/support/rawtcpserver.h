#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

#include <functional>

class QTcpServer;
class QTcpSocket;

namespace Pinrova::Testing {

// What a RawTcpServer sends on one connection once the request head has arrived: the bytes at
// once, then the trickle piece by piece, then it closes or stays silent.
struct RawAnswer
{
    QByteArray bytes;
    QByteArray trickle;
    int pieceBytes = 1;
    int pieceIntervalMs = 100;
    bool repeatTrickle = false; // start the trickle over when it is through, for ever
    bool closeAtEnd = true; // false: the connection stays open and silent

    // A whole answer with a Content-Length, sent at once.
    static RawAnswer http(const QByteArray &statusLine, const QByteArray &body,
        const QByteArray &contentType = "image/png");
};

// A TCP server on 127.0.0.1 (port picked by the system) that answers with whatever bytes the
// test scripts, for the replies an HTTP server library would never send: garbage, broken
// framing, headers without end, bodies trickling in a byte at a time. It serves through the
// event loop of the thread that created it. Connections are its children.
class RawTcpServer : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(RawTcpServer)

public:
    // Called with the request head (request line and headers, up to the blank line).
    using Script = std::function<RawAnswer(const QByteArray &requestHead)>;

    explicit RawTcpServer(QObject *parent = nullptr);
    ~RawTcpServer() override;

    bool start();
    quint16 port() const;
    QString baseUrl() const;

    void setScript(Script script) { answer = std::move(script); }

    int requestCount() const { return requests; }
    int requestCount(const QByteArray &path) const { return requestsByPath.value(path); }
    // Connections the server still holds open.
    int openConnections() const { return connections.size(); }
    qint64 bytesSent() const { return sent; }

    // The path of a request head's request line ("GET /13/1/2.png HTTP/1.1" gives the middle).
    static QByteArray pathOf(const QByteArray &requestHead);

private:
    struct Connection
    {
        QByteArray head; // received so far, until the answer starts
        bool answered = false;
        RawAnswer answer;
        int trickled = 0; // bytes of the trickle sent
    };

    void accept();
    void receive(QTcpSocket *socket);
    void sendPiece(QTcpSocket *socket);
    void write(QTcpSocket *socket, const QByteArray &bytes);

    QTcpServer *server = nullptr;
    Script answer;
    QHash<QTcpSocket *, Connection> connections;
    int requests = 0;
    QHash<QByteArray, int> requestsByPath;
    qint64 sent = 0;
};

} // namespace Pinrova::Testing
