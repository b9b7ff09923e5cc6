#include "positionserviceclient.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include "crowdperson.h"

namespace Pinrova::Sandbox {

namespace {

constexpr auto PersonAttribute = QNetworkRequest::User;
constexpr auto RegisterAttribute
    = static_cast<QNetworkRequest::Attribute>(QNetworkRequest::User + 1);
constexpr int TransferTimeoutMs = 10000;
// A session key is 43 characters; a longer answer is no key.
constexpr qint64 MaximumKeyBytes = 256;

QByteArray pathOf(const QUrl &service, const char *request)
{
    QByteArray base = service.toEncoded();
    while (base.endsWith('/'))
        base.chop(1);
    return base + "/PosService/PosService.svc/" + request + '?';
}

QByteArray pair(const char *key, const QString &value)
{
    return QByteArray(key) + '=' + QUrl::toPercentEncoding(value);
}

} // namespace

QUrl registerUrl(const QUrl &service, const CrowdPerson &person)
{
    const QByteArray query = pair("uid", person.uid) + '&'
        + pair("network", networkTypeToString(person.network)) + '&' + pair("id", person.id) + '&'
        + pair("name", person.name()) + '&' + pair("smallPic", person.smallPicture) + '&'
        + pair("mediumPic", person.mediumPicture) + '&'
        + pair("sex", QString::number(static_cast<int>(person.gender)));
    return QUrl::fromEncoded(pathOf(service, "Register") + query, QUrl::StrictMode);
}

QUrl setPosUrl(const QUrl &service, const QString &uid, double lat, double lon)
{
    const QByteArray query = pair("uid", uid) + '&' + pair("lat", QString::number(lat, 'f', 6))
        + '&' + pair("lon", QString::number(lon, 'f', 6));
    return QUrl::fromEncoded(pathOf(service, "SetPos") + query, QUrl::StrictMode);
}

PositionServiceClient::PositionServiceClient(const QUrl &service, QObject *parent)
    : QObject(parent)
    , service(service)
    , network(new QNetworkAccessManager(this))
{
    connect(network, &QNetworkAccessManager::finished, this, &PositionServiceClient::finished);
}

void PositionServiceClient::registerPerson(int person, const CrowdPerson &who)
{
    send(registerUrl(service, who), person, true, who.credential);
}

void PositionServiceClient::reportPosition(
    int person, const QString &uid, double lat, double lon, const QByteArray &key)
{
    send(setPosUrl(service, uid, lat, lon), person, false, QByteArrayLiteral("Bearer ") + key);
}

void PositionServiceClient::send(
    const QUrl &url, int person, bool isRegister, const QByteArray &authorization)
{
    QNetworkRequest request(url);
    if (!authorization.isEmpty())
        request.setRawHeader("Authorization", authorization);
    request.setAttribute(PersonAttribute, person);
    request.setAttribute(RegisterAttribute, isRegister);
    request.setTransferTimeout(TransferTimeoutMs);
    network->get(request);
}

void PositionServiceClient::finished(QNetworkReply *reply)
{
    reply->deleteLater();
    const int person = reply->request().attribute(PersonAttribute).toInt();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->request().attribute(RegisterAttribute).toBool()) {
        const QByteArray key
            = status == 200 ? reply->read(MaximumKeyBytes + 1).trimmed() : QByteArray();
        emit registerFinished(person, status, key.size() > MaximumKeyBytes ? QByteArray() : key);
    } else {
        emit reportFinished(person, status);
    }
}

} // namespace Pinrova::Sandbox
