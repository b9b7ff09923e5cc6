#include "posdtesting.h"

#include <QCryptographicHash>
#include <QDomDocument>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

#include <cmath>

namespace Pinrova::Testing {

PosdAnswer httpGet(QNetworkAccessManager &manager, const QUrl &url, int timeoutMs)
{
    return httpSend(manager, "GET", url, {}, timeoutMs);
}

PosdAnswer httpSend(QNetworkAccessManager &manager, const QByteArray &verb, const QUrl &url,
    const QList<std::pair<QByteArray, QByteArray>> &headers, int timeoutMs)
{
    QNetworkRequest request(url);
    request.setAttribute(
        QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);
    QNetworkReply *reply = manager.sendCustomRequest(request, verb);
    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    PosdAnswer answer;
    if (reply->isFinished()) {
        answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        answer.body = reply->readAll();
        answer.contentType = reply->rawHeader("Content-Type");
        answer.cacheControl = reply->rawHeader("Cache-Control");
        answer.retryAfter = reply->rawHeader("Retry-After");
    } else {
        reply->abort();
    }
    reply->deleteLater();
    return answer;
}

namespace {

QString firstText(const QDomElement &under, const QString &name)
{
    return under.elementsByTagName(name).item(0).toElement().text();
}

} // namespace

bool readUserList(const QByteArray &body, QVector<ListedUser> &users)
{
    QDomDocument document;
    if (!document.setContent(QString::fromUtf8(body), false))
        return false;
    const QDomElement root = document.documentElement();
    if (root.tagName() != QLatin1String("ArrayOfUser"))
        return false;
    users.clear();
    for (QDomElement user = root.firstChildElement(); !user.isNull();
         user = user.nextSiblingElement()) {
        if (user.tagName() != QLatin1String("User"))
            continue;
        ListedUser listed;
        listed.lat = firstText(user, "Lat").toDouble();
        listed.lon = firstText(user, "Lon").toDouble();
        listed.online = firstText(user, "Online").toUpper() == QLatin1String("TRUE");
        listed.name = firstText(user, "Name");
        listed.sex = firstText(user, "Sex");
        listed.smallPicture = firstText(user, "SmallPicture");
        listed.mediumPicture = firstText(user, "MediumPicture");
        const QDomElement ids = user.elementsByTagName("UserIds").item(0).toElement();
        for (QDomElement id = ids.firstChildElement(); !id.isNull(); id = id.nextSiblingElement()) {
            if (id.tagName() == QLatin1String("UserId"))
                listed.ids.append({firstText(id, "Id"), firstText(id, "NetworkType")});
        }
        if (!listed.ids.isEmpty())
            users.append(listed);
    }
    return true;
}

QByteArray testVkSession(const QString &mid, qint64 expire, const QByteArray &appSecret)
{
    const QString sessionSecret = "s3cr3t", sid = "sid-" + mid;
    const QByteArray signedText = ("expire=" + QString::number(expire) + "mid=" + mid
                                      + "secret=" + sessionSecret + "sid=" + sid)
                                      .toUtf8()
        + appSecret;
    const QByteArray sig = QCryptographicHash::hash(signedText, QCryptographicHash::Md5).toHex();
    const QJsonObject session {{"expire", expire}, {"mid", mid}, {"secret", sessionSecret},
        {"sid", sid}, {"sig", QString::fromLatin1(sig)}};
    return QJsonDocument(session)
        .toJson(QJsonDocument::Compact)
        .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QString testUid(int n)
{
    return QStringLiteral("{%1-0000-4000-8000-000000000000}").arg(n, 8, 16, QLatin1Char('0'));
}

QString testRegisterQuery(int n)
{
    return "uid=" + QUrl::toPercentEncoding(testUid(n)) + "&network=facebook&id="
        + QString::number(n) + "&name=n" + QString::number(n) + "&smallPic=&mediumPic=&sex=0";
}

QString testPosQuery(int n, double lat, double lon)
{
    return "uid=" + QUrl::toPercentEncoding(testUid(n)) + "&lat=" + QString::number(lat, 'g', 17)
        + "&lon=" + QString::number(lon, 'g', 17);
}

std::pair<double, double> offsetByPixels(double lat, double lon, int zoom, double dx, double dy)
{
    const double pi = 3.141592653589793;
    const double world = 256 * std::ldexp(1.0, zoom);
    const double a = lat * pi / 180;
    const double x = (lon + 180) / 360 + dx / world;
    const double y = (1 - std::log(std::tan(a) + 1 / std::cos(a)) / pi) / 2 + dy / world;
    return {std::atan(std::sinh(pi * (1 - 2 * y))) * 180 / pi, x * 360 - 180};
}

} // namespace Pinrova::Testing
