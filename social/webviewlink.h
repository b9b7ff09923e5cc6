#pragma once

#include <QPointer>

class QObject;
class QWebView;

namespace Pinrova::Social {

// Which web view a connector watches. Attaching a view drops every connection from the view
// and its page left over from the previous one, so a connector never acts on pages it no longer
// owns (a detached connector filling its e-mail into another network's form, say).
class WebViewLink
{
public:
    // Drops the old view's connections to receiver and stores the new view (may be null).
    void attach(QWebView *view, QObject *receiver);
    QWebView *view() const;

private:
    QPointer<QWebView> current; // not owned
    QPointer<QObject> currentPage;
};

} // namespace Pinrova::Social
