#include "webloginform.h"

#include <QHideEvent>
#include <QLabel>
#include <QVBoxLayout>
#include <QWebEngineCookieStore>
#include <QWebEngineHistory>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "handsetwindow.h"
#include "signinpage.h"

using Pinrova::Social::SignInPage;

void Ui::WebLoginForm::setupUi(QWidget *window)
{
    if (window->objectName().isEmpty())
        window->setObjectName(QStringLiteral("WebLoginForm"));
    window->resize(400, 300);
    verticalLayout = new QVBoxLayout(window);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    refusedLabel = new QLabel(window);
    refusedLabel->setObjectName(QStringLiteral("refusedLabel"));
    refusedLabel->setWordWrap(true);
    refusedLabel->setTextFormat(Qt::PlainText);
    refusedLabel->setVisible(false);
    verticalLayout->addWidget(refusedLabel);
    webView = new QWebEngineView(window);
    webView->setObjectName(QStringLiteral("webView"));
    verticalLayout->addWidget(webView, 1);

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
    // A profile without a storage name is off the record: cookies, cache, history and visited
    // links stay in memory.
    profile = new QWebEngineProfile(this);
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    profile->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
    // The window shows no page icons: no requests for them.
    profile->settings()->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    // The view must never make a page of its own: that one would use the default profile,
    // which keeps its data on disk.
    signInPage = new SignInPage(profile, ui->webView);
    ui->webView->setPage(signInPage);
    connect(signInPage, &SignInPage::navigationRefused, this, &WebLoginForm::showRefused);
    connect(signInPage, &QWebEnginePage::loadStarted, ui->refusedLabel, &QLabel::hide);
}

WebLoginForm::~WebLoginForm()
{
    // The page (a child of the view) must go before the profile it runs in.
    delete ui->webView;
    delete ui;
}

QWebEngineView *WebLoginForm::webView()
{
    return ui->webView;
}

void WebLoginForm::showRefused(const QUrl &url)
{
    ui->refusedLabel->setText(
        tr("This window only opens the pages of the network you sign in to. %1 was not opened.")
            .arg(url.host()));
    ui->refusedLabel->show();
}

void WebLoginForm::forgetSession()
{
    profile->cookieStore()->deleteAllCookies();
    profile->clearHttpCache();
    profile->clearAllVisitedLinks();
    signInPage->history()->clear();
}

void WebLoginForm::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // A spontaneous hide is the window system's (minimising this window or the main window):
    // the sign-in goes on when the window comes back. A close or hide() ends the attempt.
    if (event->spontaneous())
        return;
    forgetSession();
    emit loginCancelled();
}
