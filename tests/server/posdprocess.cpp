#include "posdprocess.h"

#include <QElapsedTimer>
#include <QRegularExpression>

namespace Pinrova::Testing {

QString posdExecutable()
{
    return QStringLiteral(POSD_EXECUTABLE);
}

PosdProcess::PosdProcess(
    const QString &database, const QStringList &moreArguments, int openFileLimit)
{
    QStringList arguments
        = QStringList {"--listen", "127.0.0.1:0", "--db", database, "--threads", "2"}
        + moreArguments;
    // The designed protocol unless the test gives the service a secret to check with.
    if (!moreArguments.contains("--vk-app-secret-file")
        && !moreArguments.contains("--facebook-app-secret-file"))
        arguments << "--open-registration";
    if (openFileLimit > 0) {
        // exec keeps the process id, so kill() reaches the service itself.
        process.setProgram("/bin/sh");
        process.setArguments(
            QStringList {"-c", QString("ulimit -n %1 && exec \"$0\" \"$@\"").arg(openFileLimit),
                posdExecutable()}
            + arguments);
    } else {
        process.setProgram(posdExecutable());
        process.setArguments(arguments);
    }
    process.start();
}

PosdProcess::~PosdProcess()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
}

quint16 PosdProcess::waitForPort()
{
    QRegularExpression line("listening on 127\\.0\\.0\\.1:(\\d+)");
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000) {
        readOutput();
        const auto match = line.match(QString::fromUtf8(output));
        if (match.hasMatch())
            return match.captured(1).toUShort();
        if (!process.waitForReadyRead(200) && process.state() == QProcess::NotRunning)
            break;
    }
    return 0;
}

QUrl PosdProcess::url(quint16 port, const QString &request, const QString &query) const
{
    QUrl url(
        QStringLiteral("http://127.0.0.1:%1/PosService/PosService.svc/%2").arg(port).arg(request));
    url.setQuery(query);
    return url;
}

} // namespace Pinrova::Testing
