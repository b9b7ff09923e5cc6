#include <QLabel>
#include <QListWidget>
#include <QNetworkReply>
#include <QSettings>
#include <QSignalSpy>
#include <QWebEngineView>
#include <QtTest>

#include <memory>

#include "dialoganswerer.h"
#include "facebookstandin.h"
#include "isocialinfo.h"
#include "loginwidget.h"
#include "pagescript.h"
#include "signinpage.h"
#include "testsupport.h"
#include "vkstandin.h"
#include "webloginform.h"

using namespace Pinrova::Social;
using namespace Pinrova::Testing;

namespace {

QListWidgetItem *row(LoginWidget &chooser, int index)
{
    return chooser.findChild<QListWidget *>(QStringLiteral("listWidget"))->item(index);
}

void click(LoginWidget &chooser, int index)
{
    QListWidget *list = chooser.findChild<QListWidget *>(QStringLiteral("listWidget"));
    const QRect box = list->visualItemRect(list->item(index));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
}

QWebEnginePage *page(LoginWidget &chooser)
{
    return chooser.webWindow()->webView()->page();
}

} // namespace

class TestLoginWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void form();
    void switchingNetworksReusesTheWindow();
    void clickingTwiceConnectsOnce();
    void failureThenRetryThenCancel();
    void successHidesChooserFirst();
    void minimisingKeepsTheAttempt();
    void otherNetworkTakesTheWindowOver();

private:
    void failVkSignIn(LoginWidget &chooser);

    HttpServer server;
    std::unique_ptr<Pinrova::Sandbox::FacebookStandIn> facebook;
    std::unique_ptr<Pinrova::Sandbox::VkStandIn> vk;
};

void TestLoginWidget::initTestCase()
{
    useCleanTestPaths();
    Pinrova::Sandbox::FacebookStandIn::Options options;
    options.redirectHost = QStringLiteral("localhost");
    facebook = std::make_unique<Pinrova::Sandbox::FacebookStandIn>(server, options);
    vk = std::make_unique<Pinrova::Sandbox::VkStandIn>(
        server, Pinrova::Sandbox::VkStandIn::Options());
    QVERIFY(server.start());
    for (const char *name : {"PINROVA_FACEBOOK_WEB", "PINROVA_FACEBOOK_GRAPH", "PINROVA_VK_HOST"})
        qputenv(name, baseUrl(server).toUtf8());
    qputenv("PINROVA_REDIRECT_HOST", "localhost");
}

void TestLoginWidget::init()
{
    server.clearLog();
}

void TestLoginWidget::cleanup()
{
    releaseSocialInfos(); // every test starts signed out
}

void TestLoginWidget::form()
{
    LoginWidget chooser;
    QCOMPARE(chooser.objectName(), QStringLiteral("LoginWidget"));
    QCOMPARE(chooser.windowTitle(), QStringLiteral("Login"));
    QCOMPARE(chooser.size(), QSize(451, 422));
    QCOMPARE(chooser.findChild<QLabel *>(QStringLiteral("label"))->text(),
        QStringLiteral("Login with:"));
    QVERIFY(chooser.findChild<QLabel *>(QStringLiteral("label"))->font().bold());
    QVERIFY(chooser.findChild<QWidget *>(QStringLiteral("buttonsHolder")));

    QListWidget *list = chooser.findChild<QListWidget *>(QStringLiteral("listWidget"));
    QVERIFY(list);
    QCOMPARE(list->iconSize(), QSize(64, 64));
    QCOMPARE(list->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(list->count(), 2);
    QCOMPARE(row(chooser, 0)->text(), QStringLiteral("facebook"));
    QCOMPARE(row(chooser, 0)->data(Qt::UserRole).toInt(), int(Facebook));
    QCOMPARE(row(chooser, 1)->data(Qt::UserRole).toInt(), int(Vkontakte));
    // Each network's own picture, drawn: a missing resource draws nothing.
    for (const NetworkType type : {Facebook, Vkontakte}) {
        QVERIFY(!QImage(networkTypeToIcon(type)).isNull());
        QVERIFY(!row(chooser, type == Facebook ? 0 : 1)->icon().pixmap(64, 64).isNull());
    }
    QVERIFY(!chooser.webWindow());
}

void TestLoginWidget::switchingNetworksReusesTheWindow()
{
    LoginWidget chooser;
    chooser.show();
    click(chooser, 0);
    WebLoginForm *window = chooser.webWindow();
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QVERIFY(window->isWindow());
    QCOMPARE(window->objectName(), QStringLiteral("WebLoginForm"));
    QCOMPARE(window->windowTitle(), QStringLiteral("Authorization"));
    QTRY_VERIFY(pageText(page(chooser)).contains(QStringLiteral("Continue")));

    window->close(); // the back button
    QVERIFY(!window->isVisible());

    click(chooser, 1);
    QCOMPARE(chooser.webWindow(), window);
    QVERIFY(window->isVisible());
    QTRY_VERIFY(hasElement(page(chooser), QStringLiteral("#pass")));

    // Facebook no longer follows the view: its redirect now means nothing to it.
    QSignalSpy facebookResults(socialInfoForNetwork(Facebook).data(), &ISocialInfo::loginResult);
    QSignalSpy finals(&chooser, &LoginWidget::finalLoginResult);
    QSignalSpy redirects(window->page(), &SignInPage::redirectReached);
    window->webView()->setUrl(QUrl(QStringLiteral("http://localhost/#access_token=LATE")));
    QVERIFY(redirects.wait(10000));
    QCOMPARE(facebookResults.count(), 0);
    QCOMPARE(finals.count(), 0);
}

void TestLoginWidget::clickingTwiceConnectsOnce()
{
    LoginWidget chooser;
    chooser.show();
    QSignalSpy finals(&chooser, &LoginWidget::finalLoginResult);
    click(chooser, 0);
    // A second load started before the first has sent its request replaces it unsent.
    QTRY_COMPARE(server.requestCount("/dialog/oauth"), 1);
    click(chooser, 0);
    QTRY_COMPARE(server.requestCount("/dialog/oauth"), 2);
    QTRY_VERIFY(pageText(page(chooser)).contains(QStringLiteral("Continue")));
    runScript(page(chooser), QStringLiteral("document.getElementById('continue').click()"));
    QTRY_COMPARE(finals.count(), 1);
    QTest::qWait(100);
    QCOMPARE(finals.count(), 1);
    QCOMPARE(finals.first().first().toBool(), true);
    QVERIFY(socialInfoForNetwork(Facebook)->isLoggedIn());
    QVERIFY(!chooser.webWindow()->isVisible());
}

void TestLoginWidget::failVkSignIn(LoginWidget &chooser)
{
    click(chooser, 1);
    QTRY_VERIFY(hasElement(page(chooser), QStringLiteral("#pass")));
    runScript(page(chooser),
        QStringLiteral("document.querySelector('#email').value = 'x@y.z';"
                       "document.querySelector('#submit').click()"));
}

void TestLoginWidget::failureThenRetryThenCancel()
{
    LoginWidget chooser;
    chooser.show();
    QSignalSpy finals(&chooser, &LoginWidget::finalLoginResult);
    DialogAnswerer answerer(QMessageBox::Retry);

    failVkSignIn(chooser);
    QTRY_COMPARE(answerer.count, 1);
    QCOMPARE(answerer.seen.text, QStringLiteral("Login failed."));
    QCOMPARE(answerer.seen.informativeText,
        QStringLiteral(
            "You can't access pinrova if you aren't logged in to any of the social networks."));
    QCOMPARE(answerer.seen.icon, QMessageBox::Information);
    QCOMPARE(answerer.seen.buttons, QMessageBox::Retry | QMessageBox::Cancel);
    QCOMPARE(answerer.seen.defaultButton, QMessageBox::Retry);
    QCOMPARE(answerer.seen.parent, &chooser);
    QVERIFY(answerer.seen.modal);
    QTRY_VERIFY(!chooser.webWindow()->isVisible());
    QVERIFY(chooser.isVisible());
    QCOMPARE(finals.count(), 0);

    // The list is usable again; a second failure asks again, and Cancel gives up.
    answerer.setAnswer(QMessageBox::Cancel);
    failVkSignIn(chooser);
    QTRY_COMPARE(answerer.count, 2);
    QTRY_COMPARE(finals.count(), 1);
    QCOMPARE(finals.first().first().toBool(), false);
    QTest::qWait(100);
    QCOMPARE(finals.count(), 1);
}

void TestLoginWidget::successHidesChooserFirst()
{
    QWidget owner;
    auto *chooser = new LoginWidget(&owner);
    owner.show();
    QList<bool> hiddenWhenTold;
    connect(chooser, &LoginWidget::finalLoginResult, this,
        [&](bool ok) { hiddenWhenTold << (ok && chooser->isHidden()); });
    click(*chooser, 1);
    QTRY_VERIFY(hasElement(page(*chooser), QStringLiteral("#pass")));
    runScript(page(*chooser),
        QStringLiteral("document.querySelector('#email').value = 'pavel@vk.example';"
                       "document.querySelector('#pass').value = 'secret';"
                       "document.querySelector('#submit').click()"));
    QTRY_COMPARE(hiddenWhenTold.size(), 1);
    QCOMPARE(hiddenWhenTold.first(), true);
    QVERIFY(!chooser->webWindow()->isVisible());
    QVERIFY(socialInfoForNetwork(Vkontakte)->isLoggedIn());
}

void TestLoginWidget::minimisingKeepsTheAttempt()
{
    LoginWidget chooser;
    chooser.show();
    DialogAnswerer answerer(QMessageBox::Retry);
    click(chooser, 1);
    WebLoginForm *window = chooser.webWindow();
    QTRY_VERIFY(hasElement(page(chooser), QStringLiteral("#pass")));

    // The window system hides it; the attempt goes on when it comes back.
    window->showMinimized();
    QVERIFY(!window->isVisible() || window->isMinimized());
    window->showNormal();
    runScript(page(chooser), QStringLiteral("document.querySelector('#submit').click()"));
    QTRY_COMPARE(answerer.count, 1); // the failure still reaches the chooser
}

void TestLoginWidget::otherNetworkTakesTheWindowOver()
{
    QSettings(QStringLiteral("Tavrion"), QStringLiteral("Pinrova"))
        .setValue(QStringLiteral("VkLogin"), QStringLiteral("pavel@vk.example"));
    LoginWidget chooser;
    chooser.show();
    click(chooser, 1);
    WebLoginForm *window = chooser.webWindow();
    QTRY_VERIFY(hasElement(page(chooser), QStringLiteral("#pass")));
    chooser.activateWindow();
    QTRY_VERIFY(chooser.isActiveWindow());

    // Facebook chosen while the VKontakte page is open: the window comes to the front, and
    // VKontakte lets go of it.
    QSignalSpy vkResults(socialInfoForNetwork(Vkontakte).data(), &ISocialInfo::loginResult);
    click(chooser, 0);
    QTRY_VERIFY(window->isActiveWindow());
    QTRY_VERIFY(pageText(page(chooser)).contains(QStringLiteral("Continue")));
    QSignalSpy loaded(window->webView()->page(), &QWebEnginePage::loadFinished);
    window->webView()->setUrl(QUrl(baseUrl(server) + QStringLiteral("/api/login_failure.html")));
    QVERIFY(loaded.wait(10000));
    QCOMPARE(vkResults.count(), 0);
}

QTEST_MAIN(TestLoginWidget)
#include "tst_loginwidget.moc"
