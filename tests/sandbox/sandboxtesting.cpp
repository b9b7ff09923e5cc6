#include "sandboxtesting.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>

#include "posdtesting.h"

namespace Pinrova::Testing {

ChildProcess::ChildProcess(
    const QString &program, const QStringList &arguments, const QProcessEnvironment &environment)
{
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.setProcessEnvironment(environment);
    child.start(program, arguments);
    child.waitForStarted(10000);
}

ChildProcess::~ChildProcess()
{
    if (child.state() != QProcess::NotRunning && terminate(5000) < 0) {
        child.kill();
        child.waitForFinished(5000);
    }
}

QRegularExpressionMatch ChildProcess::waitForOutput(
    const QRegularExpression &pattern, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (true) {
        seen += child.readAll();
        const QRegularExpressionMatch match = pattern.match(QString::fromUtf8(seen));
        if (match.hasMatch() || deadline.hasExpired())
            return match;
        if (!child.waitForReadyRead(static_cast<int>(qMin<qint64>(deadline.remainingTime(), 200)))
            && child.state() == QProcess::NotRunning) {
            seen += child.readAll();
            return pattern.match(QString::fromUtf8(seen));
        }
    }
}

int ChildProcess::terminate(int timeoutMs)
{
    if (child.state() != QProcess::NotRunning) {
        child.terminate();
        if (!child.waitForFinished(timeoutMs))
            return -1;
    }
    seen += child.readAll();
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
}

PosdProcess::PosdProcess(const QStringList &extraArguments, quint16 wanted)
{
    QStringList arguments {"--listen", QStringLiteral("127.0.0.1:%1").arg(wanted), "--db",
        folder.filePath(QStringLiteral("positions.db")), "--threads", "1"};
    if (!extraArguments.contains(QStringLiteral("--facebook-app-secret-file"))
        && !extraArguments.contains(QStringLiteral("--vk-app-secret-file")))
        arguments << QStringLiteral("--open-registration");
    process = std::make_unique<ChildProcess>(POSD_EXECUTABLE, arguments + extraArguments);
    const auto match = process->waitForOutput(
        QRegularExpression(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)")));
    if (match.hasMatch())
        port = match.captured(1).toUShort();
}

QUrl PosdProcess::baseUrl() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port));
}

QByteArray PosdProcess::getUsers(double lat, double lon, int zoom, const QByteArray &key) const
{
    QNetworkAccessManager manager;
    const QUrl url(baseUrl().toString()
        + QStringLiteral("/PosService/PosService.svc/GetUsers?lat=%1&lon=%2&zoomlevel=%3")
              .arg(lat, 0, 'g', 6)
              .arg(lon, 0, 'g', 6)
              .arg(zoom));
    QList<std::pair<QByteArray, QByteArray>> headers;
    if (!key.isEmpty())
        headers.append({"Authorization", "Bearer " + key});
    const PosdAnswer answer = httpSend(manager, "GET", url, headers);
    return answer.status == 200 ? answer.body : QByteArray();
}

QByteArray PosdProcess::registerWatcher(const QByteArray &vkSecret) const
{
    const QByteArray mid = "990001";
    const QByteArray secret = "watcher-secret";
    const QByteArray sid = "watcher-sid";
    const QByteArray sig = QCryptographicHash::hash(
        "expire=0mid=" + mid + "secret=" + secret + "sid=" + sid + vkSecret,
        QCryptographicHash::Md5)
                               .toHex();
    const QByteArray session = "{\"expire\":0,\"mid\":" + mid + ",\"secret\":\"" + secret
        + "\",\"sid\":\"" + sid + "\",\"sig\":\"" + sig + "\"}";
    QNetworkAccessManager manager;
    const QUrl url(baseUrl().toString()
        + QStringLiteral("/PosService/PosService.svc/Register?uid=%7B5e1f0c2a-7d3b-4c8e-9a61-"
                         "2b4d6f8e0c17%7D&network=vkontakte&id=990001&name=Watcher&smallPic=&"
                         "mediumPic=&sex=0"));
    const PosdAnswer answer = httpSend(manager, "GET", url,
        {{"Authorization",
            "VKontakte "
                + session.toBase64(
                    QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals)}});
    return answer.status == 200 ? answer.body.trimmed() : QByteArray();
}

Fetched fetch(const QUrl &url, int timeoutMs)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    request.setAttribute(
        QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setTransferTimeout(timeoutMs);
    QNetworkReply *reply = manager.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    Fetched fetched;
    fetched.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    fetched.body = reply->readAll();
    for (const auto &header : reply->rawHeaderPairs())
        fetched.headers.insert(header.first.toLower(), header.second);
    delete reply;
    return fetched;
}

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace Pinrova::Testing
