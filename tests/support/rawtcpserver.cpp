#include "rawtcpserver.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace Pinrova::Testing {

namespace {

// A request head is read up to here; a longer one is not from a client this server serves.
constexpr int MaximumHeadBytes = 64 * 1024;

// A trickle pauses while this much still waits in a socket's write buffer, so a client that
// stops reading cannot make the test's own memory grow.
constexpr qint64 MaximumUnsentBytes = 1024 * 1024;

} // namespace

RawAnswer RawAnswer::http(
    const QByteArray &statusLine, const QByteArray &body, const QByteArray &contentType)
{
    RawAnswer answer;
    answer.bytes = statusLine + "\r\nContent-Type: " + contentType + "\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    return answer;
}

RawTcpServer::RawTcpServer(QObject *parent)
    : QObject(parent)
    , server(new QTcpServer(this))
{
    connect(server, &QTcpServer::newConnection, this, &RawTcpServer::accept);
}

RawTcpServer::~RawTcpServer()
{
    // The sockets go with their parent; their signals must not reach a half-destroyed server.
    for (QTcpSocket *socket : connections.keys())
        socket->disconnect(this);
}

bool RawTcpServer::start()
{
    return server->listen(QHostAddress::LocalHost, 0);
}

quint16 RawTcpServer::port() const
{
    return server->serverPort();
}

QString RawTcpServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}

QByteArray RawTcpServer::pathOf(const QByteArray &requestHead)
{
    const QList<QByteArray> words = requestHead.left(requestHead.indexOf("\r\n")).split(' ');
    return words.size() >= 2 ? words.at(1) : QByteArray();
}

void RawTcpServer::accept()
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        socket->setParent(this);
        connections.insert(socket, Connection {});
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            connections.remove(socket);
            socket->deleteLater();
        });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { receive(socket); });
    }
}

void RawTcpServer::receive(QTcpSocket *socket)
{
    const auto it = connections.find(socket);
    if (it == connections.end())
        return;
    Connection &connection = *it;
    // One answer per connection: whatever the client sends once it has started is dropped.
    if (connection.answered) {
        socket->readAll();
        return;
    }
    connection.head += socket->readAll();
    const int end = connection.head.indexOf("\r\n\r\n");
    if (end < 0) {
        if (connection.head.size() > MaximumHeadBytes)
            socket->abort();
        return;
    }
    connection.head.truncate(end + 4);
    connection.answered = true;
    ++requests;
    ++requestsByPath[pathOf(connection.head)];
    connection.answer = answer ? answer(connection.head) : RawAnswer {};

    const RawAnswer &reply = connection.answer;
    write(socket, reply.bytes);
    if (reply.trickle.isEmpty()) {
        if (reply.closeAtEnd)
            socket->disconnectFromHost();
        return;
    }
    auto *timer = new QTimer(socket);
    connect(timer, &QTimer::timeout, socket, [this, socket] { sendPiece(socket); });
    timer->start(qMax(1, reply.pieceIntervalMs));
}

void RawTcpServer::sendPiece(QTcpSocket *socket)
{
    const auto it = connections.find(socket);
    if (it == connections.end() || socket->bytesToWrite() > MaximumUnsentBytes)
        return;
    Connection &connection = *it;
    const RawAnswer &reply = connection.answer;
    if (connection.trickled >= reply.trickle.size()) {
        if (reply.repeatTrickle) {
            connection.trickled = 0;
        } else {
            for (QTimer *timer : socket->findChildren<QTimer *>())
                timer->stop();
            if (reply.closeAtEnd)
                socket->disconnectFromHost();
            return;
        }
    }
    const QByteArray piece = reply.trickle.mid(connection.trickled, qMax(1, reply.pieceBytes));
    connection.trickled += piece.size();
    write(socket, piece);
}

void RawTcpServer::write(QTcpSocket *socket, const QByteArray &bytes)
{
    if (bytes.isEmpty() || socket->state() != QAbstractSocket::ConnectedState)
        return;
    const qint64 written = socket->write(bytes);
    if (written > 0)
        sent += written;
}

} // namespace Pinrova::Testing
