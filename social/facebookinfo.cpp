#include "facebookinfo.h"

#include <QJsonDocument>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QWebEngineView>

#include "outsideaddresses.h"
#include "signinpage.h"

namespace Pinrova::Social {

using Network::OutsideAddress;
using Network::outsideAddress;

namespace {

const QString TokenKey = QStringLiteral("access_token=");
const QString ExpiresKey = QStringLiteral("&expires_in=");

QString graphBase()
{
    return outsideAddress(OutsideAddress::FacebookGraph);
}

QByteArray userAgent()
{
    return QByteArrayLiteral("Pinrova. Qt mobile application. ")
        + outsideAddress(OutsideAddress::WebSite).toUtf8();
}

} // namespace

Person parseFacebookProfile(const QByteArray &json)
{
    const QVariantMap map = QJsonDocument::fromJson(json).toVariant().toMap();
    Person person;
    const QString id = map.value(QStringLiteral("id")).toString();
    person.userIds[Facebook] = id;
    person.firstName = map.value(QStringLiteral("first_name")).toString();
    person.lastName = map.value(QStringLiteral("last_name")).toString();
    person.name = map.value(QStringLiteral("name")).toString();
    person.smallPicture
        = QUrl(graphBase() + QLatin1Char('/') + id + QStringLiteral("/picture?type=square"));
    person.mediumPicture
        = QUrl(graphBase() + QLatin1Char('/') + id + QStringLiteral("/picture?type=normal"));
    const QString birthDate = map.value(QStringLiteral("bdate")).toString();
    if (!birthDate.isEmpty())
        person.birthDate = QDate::fromString(birthDate, QStringLiteral("M/d/yyyy"));
    const QString gender = map.value(QStringLiteral("gender")).toString().toLower();
    if (gender == QLatin1String("male"))
        person.gender = Male;
    else if (gender == QLatin1String("female"))
        person.gender = Female;
    else
        person.gender = UnknownGender;
    person.networkType = Facebook;
    return person;
}

FacebookInfo::FacebookInfo(QObject *parent)
    : ISocialInfo(parent)
{
    requests.setMaximumBodyBytes(MaximumProfileBytes);
    requests.setSavingToDisk(false); // the access token is in every URL
    connect(&requests, &Network::RequestReplyStack::reply, this, &FacebookInfo::getUserInfoReply);
}

QUrl FacebookInfo::loginUrl() const
{
    return QUrl(outsideAddress(OutsideAddress::FacebookWeb)
        + QStringLiteral("/dialog/oauth?client_id=")
        + outsideAddress(OutsideAddress::FacebookClientId) + QStringLiteral("&redirect_uri=http://")
        + outsideAddress(OutsideAddress::RedirectHost) + QStringLiteral("&display=touch")
        + QStringLiteral("&response_type=token"));
}

bool FacebookInfo::isLoggedIn() const
{
    if (!loggedIn)
        return false;
    if (lifetime <= 0)
        return true;
    return tokenTime.elapsed() / 1000 <= lifetime;
}

NetworkType FacebookInfo::networkType() const
{
    return Facebook;
}

void FacebookInfo::setWebView(QWebEngineView *view)
{
    webView.attach(view, this, {QUrl(outsideAddress(OutsideAddress::FacebookWeb))});
    if (!view)
        return;
    // A sign-in page never loads the redirect and hands its address on instead; any other page
    // goes there like to any page.
    if (SignInPage *page = webView.signInPage())
        connect(page, &SignInPage::redirectReached, this, &FacebookInfo::redirected);
    else
        connect(webView.page(), &QWebEnginePage::urlChanged, this, &FacebookInfo::redirected);
}

void FacebookInfo::login()
{
    retried = false;
    if (webView.view())
        webView.view()->setUrl(loginUrl());
}

void FacebookInfo::detachWebView()
{
    setWebView(nullptr);
}

void FacebookInfo::retrieveUserInfo()
{
    sendGraphRequest(QStringLiteral("/me?access_token=") + token);
}

void FacebookInfo::retrieveUsersInfo(QVector<QString> ids)
{
    sendGraphRequest(
        QStringLiteral("?ids=") + QStringList(ids.begin(), ids.end()).join(QLatin1Char(',')));
}

QUrl FacebookInfo::profileUrl(QString id) const
{
    return QUrl(
        outsideAddress(OutsideAddress::FacebookWeb) + QStringLiteral("/profile.php?id=") + id);
}

QByteArray FacebookInfo::serviceCredential() const
{
    if (!loggedIn || token.isEmpty())
        return {};
    return QByteArrayLiteral("Facebook ") + token.toUtf8();
}

bool FacebookInfo::credentialExpired() const
{
    return loggedIn && !isLoggedIn();
}

void FacebookInfo::sendGraphRequest(const QString &pathAndQuery)
{
    QNetworkRequest request(QUrl(graphBase() + pathAndQuery));
    request.setRawHeader("User-Agent", userAgent());
    requests.get(request);
}

void FacebookInfo::redirected(const QUrl &url)
{
    QWebEngineView *view = webView.view();
    if (!view || !SignInPage::isRedirect(url))
        return;

    // Only a fragment that carries a token signs the user in; an error or a denied dialog comes
    // back with a fragment too and counts as an arrival without one.
    const bool tookToken = url.hasFragment() && takeToken(url.fragment(QUrl::FullyEncoded));
    if (retried || tookToken) {
        emit loginResult(loggedIn);
        return;
    }
    retried = true;
    view->setUrl(loginUrl());
}

std::optional<FacebookToken> parseFacebookFragment(const QString &fragment)
{
    if (!fragment.startsWith(TokenKey))
        return std::nullopt;
    const int expires = fragment.indexOf(ExpiresKey);
    const QString token = expires < 0 ? fragment.mid(TokenKey.size())
                                      : fragment.mid(TokenKey.size(), expires - TokenKey.size());
    if (token.isEmpty())
        return std::nullopt;
    const int lastExpires = fragment.lastIndexOf(ExpiresKey);
    const int lifetime
        = lastExpires < 0 ? 0 : fragment.mid(lastExpires + ExpiresKey.size()).toInt();
    return FacebookToken {token, lifetime};
}

bool FacebookInfo::takeToken(const QString &fragment)
{
    const std::optional<FacebookToken> taken = parseFacebookFragment(fragment);
    if (!taken)
        return false;
    lifetime = taken->lifetime;
    token = taken->token;
    tokenTime.start();
    loggedIn = true;
    return true;
}

void FacebookInfo::getUserInfoReply(QNetworkReply *reply)
{
    const QByteArray body = reply->readAll();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool failed = reply->error() != QNetworkReply::NoError || status < 200 || status > 299;
    requests.releaseReply(reply);
    // A failed request is no profile: an empty one would register an empty identity.
    if (failed)
        return;
    emit userInfoRetrieved(parseFacebookProfile(body));
}

} // namespace Pinrova::Social
