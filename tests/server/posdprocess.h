#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace Pinrova::Testing {

// The pinrova-posd executable of this build.
QString posdExecutable();

// pinrova-posd as its own process on a free loopback port, with the given database and two
// threads; killed by the destructor if it still runs. Without a secret file among the arguments
// it runs with --open-registration. A positive openFileLimit starts it under
// that limit on open files (soft and hard), through the shell's ulimit.
class PosdProcess
{
public:
    explicit PosdProcess(
        const QString &database, const QStringList &moreArguments = {}, int openFileLimit = 0);
    ~PosdProcess();
    PosdProcess(const PosdProcess &) = delete;
    PosdProcess &operator=(const PosdProcess &) = delete;

    // Waits for the start-up line; 0 when it does not come.
    quint16 waitForPort();

    QUrl url(quint16 port, const QString &request, const QString &query) const;

    // Appends what the process has written to its standard error since the last call.
    void readOutput() { output += process.readAllStandardError(); }

    QProcess process;
    QByteArray output; // standard error read so far: the start-up line, the access log
};

} // namespace Pinrova::Testing
