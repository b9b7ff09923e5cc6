#include "vkinfo.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrlQuery>
#include <QWebEngineView>

#include "outsideaddresses.h"

namespace Pinrova::Social {

using Network::OutsideAddress;
using Network::outsideAddress;

namespace {

const QString Fields = QStringLiteral("photo,photo_medium,sex,bdate");
const QString Format = QStringLiteral("JSON");
const QString Method = QStringLiteral("getProfiles");
const QString Version = QStringLiteral("3.0");
constexpr int AccessRights = 0;

QString vkHost()
{
    return outsideAddress(OutsideAddress::VkHost);
}

QString appId()
{
    return outsideAddress(OutsideAddress::VkAppId);
}

} // namespace

VkSession parseVkSession(const QByteArray &json)
{
    const QVariantMap map = QJsonDocument::fromJson(json).toVariant().toMap();
    return {map.value(QStringLiteral("mid")).toString(),
        map.value(QStringLiteral("secret")).toString(),
        map.value(QStringLiteral("sid")).toString()};
}

QByteArray vkSignatureInput(
    const QString &mid, const QString &appId, const QString &uids, const QString &secret)
{
    const QString input = mid + QStringLiteral("api_id=") + appId + QStringLiteral("fields=")
        + Fields + QStringLiteral("format=") + Format + QStringLiteral("method=") + Method
        + QStringLiteral("uids=") + uids + QStringLiteral("v=") + Version + secret;
    return input.toUtf8();
}

QVector<Person> parseVkProfiles(const QByteArray &json)
{
    const QVariantMap map = QJsonDocument::fromJson(json).toVariant().toMap();
    const QVariantList list = map.value(QStringLiteral("response")).toList();
    QVector<Person> people;
    people.reserve(list.size());
    for (const QVariant &entry : list) {
        const QVariantMap profile = entry.toMap();
        Person person;
        person.userIds[Vkontakte] = profile.value(QStringLiteral("uid")).toString();
        person.firstName = profile.value(QStringLiteral("first_name")).toString();
        person.lastName = profile.value(QStringLiteral("last_name")).toString();
        person.name = person.firstName + QLatin1Char(' ') + person.lastName;
        person.smallPicture = QUrl(profile.value(QStringLiteral("photo")).toString());
        person.mediumPicture = QUrl(profile.value(QStringLiteral("photo_medium")).toString());
        person.birthDate = QDate::fromString(
            profile.value(QStringLiteral("bdate")).toString(), QStringLiteral("d.M.yyyy"));
        switch (profile.value(QStringLiteral("sex")).toInt()) {
        case 1:
            person.gender = Female;
            break;
        case 2:
            person.gender = Male;
            break;
        default:
            person.gender = UnknownGender;
            break;
        }
        person.networkType = Vkontakte;
        people.append(person);
    }
    return people;
}

VkInfo::VkInfo(QObject *parent)
    : ISocialInfo(parent)
{
    requests.setMaximumBodyBytes(MaximumProfileBytes);
    requests.setSavingToDisk(false); // the session and its signature are in every URL
    connect(&requests, &Network::RequestReplyStack::reply, this, &VkInfo::getUserInfoReply);
}

QUrl VkInfo::loginUrl() const
{
    return QUrl(vkHost() + QStringLiteral("/login.php?app=") + appId()
        + QStringLiteral("&layout=touch&type=browser&settings=") + QString::number(AccessRights));
}

bool VkInfo::isLoggedIn() const
{
    return loggedIn;
}

NetworkType VkInfo::networkType() const
{
    return Vkontakte;
}

void VkInfo::setWebView(QWebEngineView *view)
{
    webView.attach(view, this, {QUrl(vkHost())});
    emailMemory.attach(webView.page());
    if (!view)
        return;
    connect(webView.page(), &QWebEnginePage::urlChanged, this, &VkInfo::urlChanged);
}

void VkInfo::login()
{
    if (webView.view())
        webView.view()->load(loginUrl());
}

void VkInfo::detachWebView()
{
    setWebView(nullptr);
}

void VkInfo::retrieveUserInfo()
{
    retrieveUsersInfo(QVector<QString> {mid});
}

void VkInfo::retrieveUsersInfo(QVector<QString> ids)
{
    const QString uids = QStringList(ids.begin(), ids.end()).join(QLatin1Char(','));
    const QByteArray sig = QCryptographicHash::hash(
        vkSignatureInput(mid, appId(), uids, secret), QCryptographicHash::Md5)
                               .toHex();
    const QString url = vkHost() + QStringLiteral("/api.php?api_id=") + appId()
        + QStringLiteral("&fields=") + Fields + QStringLiteral("&format=") + Format
        + QStringLiteral("&method=") + Method + QStringLiteral("&sid=") + sid
        + QStringLiteral("&sig=") + QString::fromLatin1(sig) + QStringLiteral("&uids=") + uids
        + QStringLiteral("&v=") + Version;
    QNetworkRequest request {QUrl(url)};
    request.setRawHeader("User-Agent", "Pinrova. Qt mobile application.");
    requests.get(request);
}

QUrl VkInfo::profileUrl(QString id) const
{
    return QUrl(outsideAddress(OutsideAddress::VkProfile) + QStringLiteral("/id") + id);
}

void VkInfo::urlChanged(const QUrl &url)
{
    if (!webView.view())
        return;
    const QUrl host(vkHost());
    // The port is compared too: stand-ins for several servers share one loopback host.
    if (url.host() != host.host() || url.port() != host.port())
        return;

    if (url.path() == QLatin1String("/api/login_success.html")) {
        if (!url.hasQuery())
            return;
        const QString session
            = QUrlQuery(url).queryItemValue(QStringLiteral("session"), QUrl::FullyDecoded);
        takeSession(session);
        emit loginResult(loggedIn);
    } else if (url.path() == QLatin1String("/api/login_failure.html")) {
        loggedIn = false;
        emit loginResult(false);
    }
}

void VkInfo::takeSession(const QString &json)
{
    const VkSession credentials = parseVkSession(json.toUtf8());
    mid = credentials.mid;
    secret = credentials.secret;
    sid = credentials.sid;
    // Without all three no profile can be read and nobody can be registered: signing in
    // with nothing would leave the user on a map where nobody sees them.
    loggedIn = !mid.isEmpty() && !secret.isEmpty() && !sid.isEmpty();
    session = loggedIn ? json.toUtf8() : QByteArray();
}

QByteArray VkInfo::serviceCredential() const
{
    return loggedIn ? vkServiceCredential(session) : QByteArray();
}

QByteArray vkServiceCredential(const QByteArray &sessionJson)
{
    return QByteArrayLiteral("VKontakte ")
        + sessionJson.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

void VkInfo::getUserInfoReply(QNetworkReply *reply)
{
    const QByteArray body = reply->readAll();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // A cut-off or failed answer may still hold a readable start of the list.
    const bool failed = reply->error() != QNetworkReply::NoError || status < 200 || status > 299;
    requests.releaseReply(reply);
    if (failed)
        return;
    for (const Person &person : parseVkProfiles(body))
        emit userInfoRetrieved(person);
}

} // namespace Pinrova::Social
