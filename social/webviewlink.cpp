#include "webviewlink.h"

#include <QWebEngineView>

#include "signinpage.h"

namespace Pinrova::Social {

QWebEngineView *WebViewLink::view() const
{
    return current.data();
}

QWebEnginePage *WebViewLink::page() const
{
    return currentPage.data();
}

SignInPage *WebViewLink::signInPage() const
{
    return qobject_cast<SignInPage *>(currentPage.data());
}

void WebViewLink::attach(QWebEngineView *view, QObject *receiver, const QVector<QUrl> &origins)
{
    if (current)
        QObject::disconnect(current, nullptr, receiver, nullptr);
    if (currentPage)
        QObject::disconnect(currentPage, nullptr, receiver, nullptr);
    if (SignInPage *old = signInPage())
        old->setAllowedOrigins({});
    current = view;
    currentPage = view ? view->page() : nullptr;
    if (SignInPage *page = signInPage())
        page->setAllowedOrigins(origins);
}

} // namespace Pinrova::Social
