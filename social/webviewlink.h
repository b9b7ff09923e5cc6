#pragma once

#include <QPointer>
#include <QUrl>
#include <QVector>

class QObject;
class QWebEnginePage;
class QWebEngineView;

namespace Pinrova::Social {

class SignInPage;

// Which web view a connector watches. Attaching a view drops every connection from the view
// and its page left over from the previous one, so a connector never acts on pages it no longer
// owns (a detached connector filling its e-mail into another network's form, say).
class WebViewLink
{
public:
    // Drops the old view's connections to receiver and stores the new view (may be null). A
    // sign-in page in the new view is told the origins its navigations may go to; the old one,
    // left without a network, goes nowhere any more.
    void attach(QWebEngineView *view, QObject *receiver, const QVector<QUrl> &origins = {});
    QWebEngineView *view() const;
    QWebEnginePage *page() const;
    // The view's page if it is a sign-in page (which catches the redirect), else null.
    SignInPage *signInPage() const;

private:
    QPointer<QWebEngineView> current; // not owned
    QPointer<QWebEnginePage> currentPage;
};

} // namespace Pinrova::Social
