#pragma once

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

namespace Pinrova::Testing {

// A program of this build run as its own process; stopped (SIGTERM, then SIGKILL) when this
// goes away.
class ChildProcess
{
public:
    ChildProcess(const QString &program, const QStringList &arguments,
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // Waits (at most timeoutMs) until the output read so far matches; the match, or an
    // invalid one when the time ran out or the process ended first.
    QRegularExpressionMatch waitForOutput(const QRegularExpression &pattern, int timeoutMs = 15000);
    // SIGTERM and the exit status; -1 when it did not end within timeoutMs.
    int terminate(int timeoutMs = 10000);

    QProcess &process() { return child; }
    QByteArray output() const { return seen; } // stdout and stderr together

private:
    QProcess child;
    QByteArray seen;
};

// pinrova-posd on a port of its own with a database in a temporary folder. Without a secret
// among the extra arguments it runs the open protocol (--open-registration).
class PosdProcess
{
public:
    // port 0 lets the system pick one.
    explicit PosdProcess(const QStringList &extraArguments = {}, quint16 port = 0);

    bool isListening() const { return port != 0; }
    QUrl baseUrl() const;
    // GetUsers around a point, as the application asks for it, with a session key where the
    // service checks them; the XML body, empty on failure.
    QByteArray getUsers(double lat, double lon, int zoom, const QByteArray &key = {}) const;
    // Registers a watcher (who reports no position) with a VKontakte session signed with
    // vkSecret, as the stand-in signs them; its session key, empty on failure.
    QByteArray registerWatcher(const QByteArray &vkSecret) const;

    quint16 port = 0;

private:
    QTemporaryDir folder;
    std::unique_ptr<ChildProcess> process;
};

struct Fetched
{
    int status = 0; // 0: no HTTP answer
    QByteArray body;
    QMap<QByteArray, QByteArray> headers; // names in lower case
};

// GETs url without any cache and waits for the answer (at most timeoutMs).
Fetched fetch(const QUrl &url, int timeoutMs = 10000);

// A loopback port nothing listens on at the moment of asking.
quint16 freeLoopbackPort();

} // namespace Pinrova::Testing
