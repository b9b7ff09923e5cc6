#include <QLabel>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QWebEngineView>
#include <QtTest>

#include <memory>

#include "facebookinfo.h"
#include "facebookstandin.h"
#include "pagescript.h"
#include "signinpage.h"
#include "testsupport.h"
#include "webloginform.h"

using namespace Pinrova::Social;
using namespace Pinrova::Testing;
using Pinrova::Sandbox::FacebookStandIn;

Q_DECLARE_METATYPE(Gender)

namespace {

// The sign-in ends on a host that refuses connections at once, so pages never stall.
const QByteArray RedirectHost = "localhost";

int dialogRequests(const HttpServer &server)
{
    return server.requestCount("/dialog/oauth");
}

} // namespace

class TestFacebookInfo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void signInThroughTheDialog();
    void redirectFragments_data();
    void redirectFragments();
    void otherHostsAreIgnored_data();
    void otherHostsAreIgnored();
    void cancelReloadsOnceThenFails();
    void earlierTokenKeepsTheFlag();
    void tokenExpires();
    void profileFields_data();
    void profileFields();
    void failedGraphReplyIsNoProfile_data();
    void failedGraphReplyIsNoProfile();
    void addresses();
    void detachedViewIsNotWatched();

private:
    void signIn(FacebookInfo &info, QWebEngineView &view);

    HttpServer server;
    std::unique_ptr<FacebookStandIn> facebook;
};

void TestFacebookInfo::initTestCase()
{
    qRegisterMetaType<QNetworkReply *>();
    useCleanTestPaths();
    FacebookStandIn::Options options;
    options.redirectHost = QString::fromLatin1(RedirectHost);
    facebook = std::make_unique<FacebookStandIn>(server, options);
    QVERIFY(server.start());
    qputenv("PINROVA_FACEBOOK_WEB", baseUrl(server).toUtf8());
    qputenv("PINROVA_FACEBOOK_GRAPH", baseUrl(server).toUtf8());
    qputenv("PINROVA_WEB_SITE", "http://www.pinrova.example");
}

void TestFacebookInfo::init()
{
    qputenv("PINROVA_REDIRECT_HOST", RedirectHost);
    server.clearLog();
}

void TestFacebookInfo::signIn(FacebookInfo &info, QWebEngineView &view)
{
    QSignalSpy results(&info, &FacebookInfo::loginResult);
    info.setWebView(&view);
    info.login();
    QTRY_VERIFY(pageText(view.page()).contains(QStringLiteral("Continue")));
    runScript(view.page(), QStringLiteral("document.getElementById('continue').click()"));
    QTRY_COMPARE(results.count(), 1);
    QCOMPARE(results.first().first().toBool(), true);
}

void TestFacebookInfo::signInThroughTheDialog()
{
    WebLoginForm window;
    QWebEngineView &view = *window.webView();
    FacebookInfo info;
    QSignalSpy results(&info, &FacebookInfo::loginResult);
    signIn(info, view);
    QTest::qWait(100); // a second verdict would come from the redirect's own load
    QCOMPARE(results.count(), 1);
    QVERIFY(info.isLoggedIn());
    QCOMPARE(info.accessToken(), facebook->options().accessToken);
    QCOMPARE(info.tokenLifetime(), 3600);

    QList<Person> people;
    connect(&info, &FacebookInfo::userInfoRetrieved, this, [&](const Person &p) { people << p; });
    info.retrieveUserInfo();
    QTRY_COMPARE(people.size(), 1);
    const Person &me = people.first();
    QCOMPARE(me.userIds[Facebook], facebook->options().user.id);
    QCOMPARE(me.name, QStringLiteral("Anna Smirnova"));
    QCOMPARE(me.firstName, QStringLiteral("Anna"));
    QCOMPARE(me.gender, Female);
    QCOMPARE(me.birthDate, QDate(1990, 4, 17));
    QCOMPARE(me.networkType, Facebook);

    const HttpRequest graph = server.requests().back();
    QCOMPARE(graph.path, std::string("/me"));
    QCOMPARE(graph.queryValue("access_token"), facebook->options().accessToken.toStdString());
    QCOMPARE(graph.header("User-Agent"),
        std::string("Pinrova. Qt mobile application. http://www.pinrova.example"));

    // The picture addresses lead, through the Graph API's redirect, to a picture.
    QCOMPARE(me.smallPicture.path(), QStringLiteral("/%1/picture").arg(me.userIds[Facebook]));
    QCOMPARE(me.smallPicture.query(), QStringLiteral("type=square"));
    QCOMPARE(me.mediumPicture.query(), QStringLiteral("type=normal"));
}

void TestFacebookInfo::redirectFragments_data()
{
    QTest::addColumn<QString>("fragment");
    QTest::addColumn<bool>("signsIn");
    QTest::addColumn<QString>("token");
    QTest::addColumn<int>("lifetime");

    QTest::newRow("token and lifetime")
        << "access_token=AAA1&expires_in=3600" << true << "AAA1" << 3600;
    QTest::newRow("token only, never expires") << "access_token=AAA2" << true << "AAA2" << 0;
    QTest::newRow("lifetime not a number")
        << "access_token=AAA3&expires_in=soon" << true << "AAA3" << 0;
    QTest::newRow("last lifetime wins")
        << "access_token=AAA4&expires_in=10&expires_in=20" << true << "AAA4" << 20;
    QTest::newRow("error is no token")
        << "error=access_denied&error_reason=user_denied" << false << "" << 0;
    QTest::newRow("empty token") << "access_token=&expires_in=3600" << false << "" << 0;
    QTest::newRow("token key elsewhere") << "state=1&access_token=AAA5" << false << "" << 0;
}

void TestFacebookInfo::redirectFragments()
{
    QFETCH(QString, fragment);
    QFETCH(bool, signsIn);
    QFETCH(QString, token);
    QFETCH(int, lifetime);

    WebLoginForm window;
    QWebEngineView &view = *window.webView();
    FacebookInfo info;
    QSignalSpy results(&info, &FacebookInfo::loginResult);
    info.setWebView(&view);
    info.login();
    QTRY_COMPARE(dialogRequests(server), 1);

    view.setUrl(QUrl(QStringLiteral("http://localhost/#") + fragment));
    if (signsIn) {
        QTRY_COMPARE(results.count(), 1);
        QCOMPARE(results.first().first().toBool(), true);
        QVERIFY(info.isLoggedIn());
        QCOMPARE(info.accessToken(), token);
        QCOMPARE(info.tokenLifetime(), lifetime);
        return;
    }
    // Like an arrival without a fragment: the dialog once more, then the verdict.
    QTRY_COMPARE(dialogRequests(server), 2);
    QCOMPARE(results.count(), 0);
    view.setUrl(QUrl(QStringLiteral("http://localhost/#") + fragment));
    QTRY_COMPARE(results.count(), 1);
    QCOMPARE(results.first().first().toBool(), false);
    QVERIFY(!info.isLoggedIn());
    QVERIFY(info.accessToken().isEmpty());
}

void TestFacebookInfo::otherHostsAreIgnored_data()
{
    QTest::addColumn<QByteArray>("configuredHost");
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("counts");

    QTest::newRow("letter case of the host")
        << QByteArray("LocalHost") << "http://LOCALHOST/#access_token=T1" << true;
    QTest::newRow("path on the redirect host")
        << RedirectHost << "http://localhost/welcome/back#access_token=T2" << true;
    // The redirect is caught before it is requested: the host here would answer.
    QTest::newRow("never requested")
        << QByteArray("127.0.0.1") << baseUrl(server) + "/landing#access_token=T5" << true;
    QTest::newRow("another host") << RedirectHost << "http://127.0.0.1:1/#access_token=T3" << false;
    QTest::newRow("a host that only starts alike")
        << RedirectHost << "http://localhost.example/#access_token=T4" << false;
}

void TestFacebookInfo::otherHostsAreIgnored()
{
    QFETCH(QByteArray, configuredHost);
    QFETCH(QString, url);
    QFETCH(bool, counts);

    qputenv("PINROVA_REDIRECT_HOST", configuredHost);
    WebLoginForm window;
    QWebEngineView &view = *window.webView();
    FacebookInfo info;
    QSignalSpy results(&info, &FacebookInfo::loginResult);
    info.setWebView(&view);
    view.setUrl(QUrl(url));
    QLabel *refused = window.findChild<QLabel *>(QStringLiteral("refusedLabel"));
    if (counts) {
        QTRY_COMPARE(results.count(), 1);
        QVERIFY(info.isLoggedIn());
        QCOMPARE(server.requestCount(), std::size_t(0));
        QVERIFY(refused->isHidden());
    } else {
        // Not a page of the network either: the window refuses it and says so.
        QSignalSpy refusals(window.page(), &SignInPage::navigationRefused);
        QVERIFY(refusals.wait(10000));
        QCOMPARE(results.count(), 0);
        QVERIFY(!info.isLoggedIn());
        QCOMPARE(dialogRequests(server), 0);
        QVERIFY(!refused->isHidden());
        QVERIFY(refused->text().contains(QUrl(url).host()));
    }
}

void TestFacebookInfo::cancelReloadsOnceThenFails()
{
    WebLoginForm window;
    QWebEngineView &view = *window.webView();
    FacebookInfo info;
    QSignalSpy results(&info, &FacebookInfo::loginResult);
    info.setWebView(&view);
    info.login();
    for (int attempt = 1; attempt <= 2; ++attempt) {
        QTRY_COMPARE(dialogRequests(server), attempt);
        QTRY_VERIFY(pageText(view.page()).contains(QStringLiteral("Cancel")));
        QCOMPARE(results.count(), 0);
        runScript(view.page(), QStringLiteral("document.getElementById('cancel').click()"));
        QTRY_COMPARE(server.requestCount("/dialog/oauth/cancel"), attempt);
    }
    QTRY_COMPARE(results.count(), 1);
    QCOMPARE(results.first().first().toBool(), false);
    QCOMPARE(dialogRequests(server), 2);

    // A new attempt starts with a fresh reload allowance.
    info.login();
    QTRY_COMPARE(dialogRequests(server), 3);
}

void TestFacebookInfo::earlierTokenKeepsTheFlag()
{
    // Once a token has been taken, a later failed attempt still reports success.
    WebLoginForm window;
    QWebEngineView &view = *window.webView();
    FacebookInfo info;
    signIn(info, view);
    QSignalSpy results(&info, &FacebookInfo::loginResult);
    info.login();
    QTRY_COMPARE(dialogRequests(server), 2);
    view.setUrl(QUrl(QStringLiteral("http://localhost/")));
    QTRY_COMPARE(dialogRequests(server), 3);
    view.setUrl(QUrl(QStringLiteral("http://localhost/")));
    QTRY_COMPARE(results.count(), 1);
    QCOMPARE(results.first().first().toBool(), true);
}

void TestFacebookInfo::tokenExpires()
{
    WebLoginForm window;
    QWebEngineView &view = *window.webView();
    FacebookInfo info;
    info.setWebView(&view);
    view.setUrl(QUrl(QStringLiteral("http://localhost/#access_token=SHORT&expires_in=1")));
    QTRY_VERIFY(info.isLoggedIn());
    // Whole seconds are compared: still valid at 1 s, gone after 2 s.
    QTRY_VERIFY_WITH_TIMEOUT(!info.isLoggedIn(), 5000);

    view.setUrl(QUrl(QStringLiteral("http://localhost/#access_token=AGAIN&expires_in=3600")));
    QTRY_VERIFY(info.isLoggedIn());
    QCOMPARE(info.accessToken(), QStringLiteral("AGAIN"));
}

void TestFacebookInfo::profileFields_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("name");
    QTest::addColumn<Gender>("gender");
    QTest::addColumn<QDate>("birthDate");

    QTest::newRow("complete") << QByteArray(
        R"({"id":"42","name":"Ivan Petrov","first_name":"Ivan",)"
        R"("last_name":"Petrov","gender":"male","bdate":"1/2/1990"})")
                              << "42"
                              << "Ivan Petrov" << Male << QDate(1990, 1, 2);
    QTest::newRow("gender in capitals") << QByteArray(R"({"id":"7","gender":"MALE"})") << "7"
                                        << "" << Male << QDate();
    QTest::newRow("female") << QByteArray(R"({"id":"8","gender":"Female"})") << "8"
                            << "" << Female << QDate();
    QTest::newRow("other gender") << QByteArray(R"({"id":"9","gender":"custom"})") << "9"
                                  << "" << UnknownGender << QDate();
    QTest::newRow("two-digit month and day")
        << QByteArray(R"({"id":"1","bdate":"12/31/1985"})") << "1"
        << "" << UnknownGender << QDate(1985, 12, 31);
    QTest::newRow("unreadable date") << QByteArray(R"({"id":"1","bdate":"31.12.1985"})") << "1"
                                     << "" << UnknownGender << QDate();
    QTest::newRow("numeric id") << QByteArray(R"({"id":100001,"name":"N"})") << "100001"
                                << "N" << UnknownGender << QDate();
    QTest::newRow("not JSON") << QByteArray("<html>oops</html>") << ""
                              << "" << UnknownGender << QDate();
    QTest::newRow("a list, not an object") << QByteArray(R"([{"id":"1"}])") << ""
                                           << "" << UnknownGender << QDate();
}

void TestFacebookInfo::profileFields()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, id);
    QFETCH(QString, name);
    QFETCH(Gender, gender);
    QFETCH(QDate, birthDate);

    const Person person = parseFacebookProfile(json);
    QCOMPARE(person.userIds[Facebook], id);
    QCOMPARE(person.name, name);
    QCOMPARE(person.gender, gender);
    QCOMPARE(person.birthDate, birthDate);
    QCOMPARE(person.networkType, Facebook);
    QCOMPARE(person.smallPicture.toString(),
        baseUrl(server) + QStringLiteral("/%1/picture?type=square").arg(id));
    for (int other = Vkontakte; other < NetworkTypeCount; ++other)
        QVERIFY(person.userIds[other].isEmpty());
}

void TestFacebookInfo::failedGraphReplyIsNoProfile_data()
{
    QTest::addColumn<QString>("graph");
    QTest::addColumn<int>("profiles");

    QTest::newRow("wrong token") << QString() << 0;
    QTest::newRow("server error") << QStringLiteral("/error500") << 0;
    QTest::newRow("connection dropped") << QStringLiteral("/dropped") << 0;
    QTest::newRow("nothing listening") << QStringLiteral("closed") << 0;
    QTest::newRow("profile padded past the limit") << QStringLiteral("/oversized") << 0;
    QTest::newRow("good token") << QStringLiteral("good") << 1;
}

void TestFacebookInfo::failedGraphReplyIsNoProfile()
{
    QFETCH(QString, graph);
    QFETCH(int, profiles);

    HttpServer broken;
    broken.setFallback([](const HttpRequest &request) {
        if (request.path.rfind("/error500", 0) == 0)
            return HttpResponse::error(500, R"({"id":"1","name":"should not count"})");
        if (request.path.rfind("/oversized", 0) == 0)
            return HttpResponse::ok(R"({"id":"1","name":"too long"})"
                    + std::string(std::size_t(ISocialInfo::MaximumProfileBytes), ' '),
                "application/json");
        return HttpResponse::drop();
    });
    QVERIFY(broken.start());
    if (graph == QLatin1String("closed"))
        qputenv("PINROVA_FACEBOOK_GRAPH", "http://127.0.0.1:1");
    else if (graph.startsWith(QLatin1Char('/')))
        qputenv("PINROVA_FACEBOOK_GRAPH", (baseUrl(broken) + graph).toUtf8());

    WebLoginForm window;
    QWebEngineView &view = *window.webView();
    FacebookInfo info;
    if (graph == QLatin1String("good"))
        signIn(info, view);
    QList<Person> people;
    connect(&info, &FacebookInfo::userInfoRetrieved, this, [&](const Person &p) { people << p; });
    QSignalSpy finished(info.findChild<Pinrova::Network::RequestReplyStack *>(),
        &Pinrova::Network::RequestReplyStack::reply);
    info.retrieveUserInfo();
    QVERIFY(finished.wait(10000));
    QCOMPARE(people.size(), profiles);
    if (profiles)
        QCOMPARE(people.first().userIds[Facebook], facebook->options().user.id);
    qputenv("PINROVA_FACEBOOK_GRAPH", baseUrl(server).toUtf8());
}

void TestFacebookInfo::addresses()
{
    qputenv("PINROVA_FACEBOOK_CLIENT_ID", "123456789012345");
    FacebookInfo info;
    QCOMPARE(info.networkType(), Facebook);
    const QString login = info.loginUrl().toString();
    qunsetenv("PINROVA_FACEBOOK_CLIENT_ID");
    QCOMPARE(login,
        baseUrl(server)
            + QStringLiteral("/dialog/oauth?client_id=123456789012345&redirect_uri=http://localhost"
                             "&display=touch&response_type=token"));
    const QUrl profile = info.profileUrl(QStringLiteral("42"));
    QCOMPARE(profile.path(), QStringLiteral("/profile.php"));
    QCOMPARE(profile.query(), QStringLiteral("id=42"));
}

void TestFacebookInfo::detachedViewIsNotWatched()
{
    WebLoginForm window;
    QWebEngineView &view = *window.webView();
    FacebookInfo info;
    QSignalSpy results(&info, &FacebookInfo::loginResult);
    info.setWebView(&view);
    info.setWebView(&view); // attaching twice still watches once
    info.detachWebView();
    QSignalSpy redirects(window.page(), &SignInPage::redirectReached);
    view.setUrl(QUrl(QStringLiteral("http://localhost/#access_token=NOPE")));
    QVERIFY(redirects.wait(10000));
    QCOMPARE(results.count(), 0);

    info.setWebView(&view);
    info.setWebView(&view);
    view.setUrl(QUrl(QStringLiteral("http://localhost/#access_token=YES")));
    QTRY_COMPARE(results.count(), 1);
    QTest::qWait(50);
    QCOMPARE(results.count(), 1);
}

QTEST_MAIN(TestFacebookInfo)
#include "tst_facebookinfo.moc"
