#include "signinpage.h"

#include <algorithm>

#include "outsideaddresses.h"

namespace Pinrova::Social {

namespace {

int portOf(const QUrl &url)
{
    return url.port(url.scheme() == QLatin1String("https") ? 443 : 80);
}

bool sameOrigin(const QUrl &a, const QUrl &b)
{
    return a.scheme() == b.scheme() && a.host() == b.host() && portOf(a) == portOf(b);
}

} // namespace

SignInPage::SignInPage(QWebEngineProfile *profile, QObject *parent)
    : QWebEnginePage(profile, parent)
{ }

void SignInPage::setAllowedOrigins(const QVector<QUrl> &origins)
{
    allowed = origins;
}

bool SignInPage::isRedirect(const QUrl &url)
{
    const QString host = Network::outsideAddress(Network::OutsideAddress::RedirectHost);
    return !host.isEmpty() && url.host().compare(host, Qt::CaseInsensitive) == 0;
}

bool SignInPage::isAllowed(const QUrl &url) const
{
    if (url == QUrl(QStringLiteral("about:blank")))
        return true;
    return std::any_of(allowed.begin(), allowed.end(),
        [&url](const QUrl &origin) { return sameOrigin(origin, url); });
}

bool SignInPage::acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame)
{
    if (!isMainFrame)
        return true;
    if (isRedirect(url)) {
        QMetaObject::invokeMethod(
            this, [this, url] { emit redirectReached(url); }, Qt::QueuedConnection);
        return false;
    }
    if (isAllowed(url))
        return true;
    QMetaObject::invokeMethod(
        this, [this, url] { emit navigationRefused(url); }, Qt::QueuedConnection);
    return false;
}

} // namespace Pinrova::Social
