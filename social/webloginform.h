#pragma once

#include <QWidget>

class QLabel;
class QVBoxLayout;
class QWebEngineProfile;
class QWebEngineView;

namespace Pinrova::Social {
class SignInPage;
}

namespace Ui {
// The sign-in window's form, laid out in code the way a form designer would.
struct WebLoginForm
{
    QVBoxLayout *verticalLayout = nullptr;
    QLabel *refusedLabel = nullptr;
    QWebEngineView *webView = nullptr;

    void setupUi(QWidget *window);
    void retranslateUi(QWidget *window);
};
} // namespace Ui

// A window that holds nothing but the web view the sign-in pages run in. It is lent to the
// connectors by the login flow; when it is closed or hidden by the program the attempt counts as
// cancelled, while minimising it (or the main window with it) leaves the attempt running.
// Its pages run in an off-the-record profile of their own: nothing of a sign-in reaches the
// disk, and the cookies go when the window is closed.
class WebLoginForm : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(WebLoginForm)

public:
    explicit WebLoginForm(QWidget *parent = nullptr);
    ~WebLoginForm() override;

    QWebEngineView *webView();
    Pinrova::Social::SignInPage *page() const { return signInPage; }

signals:
    void loginCancelled();

protected:
    void hideEvent(QHideEvent *event) override;

private:
    void showRefused(const QUrl &url);
    void forgetSession();

    Ui::WebLoginForm *ui = nullptr;
    QWebEngineProfile *profile = nullptr;
    Pinrova::Social::SignInPage *signInPage = nullptr;
};
