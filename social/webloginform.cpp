#include "webloginform.h"

#include <QHideEvent>
#include <QVBoxLayout>
#include <QWebSettings>
#include <QWebView>

#include "handsetwindow.h"

void Ui::WebLoginForm::setupUi(QWidget *window)
{
    if (window->objectName().isEmpty())
        window->setObjectName(QStringLiteral("WebLoginForm"));
    window->resize(400, 300);
    verticalLayout = new QVBoxLayout(window);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    webView = new QWebView(window);
    webView->setObjectName(QStringLiteral("webView"));
    webView->setUrl(QUrl(QStringLiteral("about:blank")));
    verticalLayout->addWidget(webView);

    retranslateUi(window);
    QMetaObject::connectSlotsByName(window);
}

void Ui::WebLoginForm::retranslateUi(QWidget *window)
{
    window->setWindowTitle(::WebLoginForm::tr("Authorization"));
}

WebLoginForm::WebLoginForm(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , ui(new Ui::WebLoginForm)
{
    Pinrova::Platform::setHandsetAttributes(this,
        Pinrova::Platform::HandsetAttribute::StackedWindow
            | Pinrova::Platform::HandsetAttribute::AutoOrientation);
    ui->setupUi(this);
    ui->webView->settings()->setAttribute(QWebSettings::JavascriptEnabled, true);
}

WebLoginForm::~WebLoginForm()
{
    delete ui;
}

QWebView *WebLoginForm::webView()
{
    ui->webView->settings()->setAttribute(QWebSettings::JavascriptEnabled, true);
    return ui->webView;
}

void WebLoginForm::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // A spontaneous hide is the window system's (minimising this window or the main window):
    // the sign-in goes on when the window comes back. A close or hide() ends the attempt.
    if (!event->spontaneous())
        emit loginCancelled();
}
