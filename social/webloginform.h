#pragma once

#include <QWidget>

class QVBoxLayout;
class QWebView;

namespace Ui {
// The sign-in window's form, laid out in code the way a form designer would.
struct WebLoginForm
{
    QVBoxLayout *verticalLayout = nullptr;
    QWebView *webView = nullptr;

    void setupUi(QWidget *window);
    void retranslateUi(QWidget *window);
};
} // namespace Ui

// A window that holds nothing but the web view the sign-in pages run in. It is lent to the
// connectors by the login flow; when it is closed or hidden by the program the attempt counts as
// cancelled, while minimising it (or the main window with it) leaves the attempt running.
class WebLoginForm : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(WebLoginForm)

public:
    explicit WebLoginForm(QWidget *parent = nullptr);
    ~WebLoginForm() override;

    QWebView *webView();

signals:
    void loginCancelled();

protected:
    void hideEvent(QHideEvent *event) override;

private:
    Ui::WebLoginForm *ui = nullptr;
};
