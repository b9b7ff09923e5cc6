#include "webviewlink.h"

#include <QWebPage>
#include <QWebView>

namespace Pinrova::Social {

QWebView *WebViewLink::view() const
{
    return current.data();
}

void WebViewLink::attach(QWebView *view, QObject *receiver)
{
    if (current)
        QObject::disconnect(current, nullptr, receiver, nullptr);
    if (currentPage)
        QObject::disconnect(currentPage, nullptr, receiver, nullptr);
    current = view;
    currentPage = view ? view->page() : nullptr;
}

} // namespace Pinrova::Social
