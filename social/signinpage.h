#pragma once

#include <QUrl>
#include <QVector>
#include <QWebEnginePage>

class QWebEngineProfile;

namespace Pinrova::Social {

// The page the sign-in window shows. Its top-level navigations go only to the hosts of the
// network being signed in to; the product's own redirect address is never requested at all:
// the navigation is refused and its address, which carries the credentials, handed on.
// Sub-resources and frames are not restricted.
class SignInPage : public QWebEnginePage
{
    Q_OBJECT
    Q_DISABLE_COPY(SignInPage)

public:
    explicit SignInPage(QWebEngineProfile *profile, QObject *parent = nullptr);

    // Scheme, host and port of the addresses the main frame may go to; nothing else is allowed
    // (but about:blank and the redirect address).
    void setAllowedOrigins(const QVector<QUrl> &origins);
    bool isAllowed(const QUrl &url) const;
    // Whether url is on the product's redirect host (by host name, whatever the port or path).
    static bool isRedirect(const QUrl &url);

signals:
    // Queued: a slot may start another navigation from here.
    void redirectReached(const QUrl &url);
    void navigationRefused(const QUrl &url);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;

private:
    QVector<QUrl> allowed;
};

} // namespace Pinrova::Social
