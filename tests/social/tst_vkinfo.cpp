#include <QCryptographicHash>
#include <QNetworkReply>
#include <QSettings>
#include <QSignalSpy>
#include <QUrlQuery>
#include <QWebEngineView>
#include <QtTest>

#include <algorithm>
#include <memory>

#include "pagescript.h"
#include "requestreplystack.h"
#include "signinpage.h"
#include "storedfiles.h"
#include "testsupport.h"
#include "vkinfo.h"
#include "vkstandin.h"
#include "webloginform.h"

using namespace Pinrova::Social;
using namespace Pinrova::Testing;
using Pinrova::Sandbox::VkStandIn;

Q_DECLARE_METATYPE(Gender)

namespace {

QString fieldsOf(const Person &p)
{
    return QStringLiteral("%1|%2|%3|%4|%5")
        .arg(p.userIds[Vkontakte], p.name, QString::number(p.gender),
            p.birthDate.toString(Qt::ISODate), p.smallPicture.toString());
}

} // namespace

class TestVkInfo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void signInAndReadOwnProfile();
    void wrongPasswordFails();
    void successPageRules_data();
    void successPageRules();
    void signature_data();
    void signature();
    void profiles_data();
    void profiles();
    void severalProfilesInOrder();
    void brokenApiAnswerIsNoProfile_data();
    void brokenApiAnswerIsNoProfile();
    void failurePageKeepsCredentials();
    void emailRememberedAcrossRestart();
    void addresses();

private:
    // Types the address and password into the login page and submits it.
    void submitLogin(QWebEngineView &view, const QString &email, const QString &password);
    void signIn(VkInfo &info, QWebEngineView &view);
    QList<Person> collect(VkInfo &info, const QVector<QString> &ids);

    HttpServer server;
    std::unique_ptr<VkStandIn> vk;
};

void TestVkInfo::initTestCase()
{
    qRegisterMetaType<QNetworkReply *>();
    useCleanTestPaths();
    vk = std::make_unique<VkStandIn>(server, VkStandIn::Options());
    QVERIFY(server.start());
    qputenv("PINROVA_VK_HOST", baseUrl(server).toUtf8());
    qputenv("PINROVA_VK_PROFILE", "http://vk.example");
}

void TestVkInfo::init()
{
    QSettings(QStringLiteral("Tavrion"), QStringLiteral("Pinrova"))
        .remove(QStringLiteral("VkLogin"));
    server.clearLog();
}

void TestVkInfo::submitLogin(QWebEngineView &view, const QString &email, const QString &password)
{
    QTRY_VERIFY(hasElement(view.page(), QStringLiteral("#pass")));
    runScript(view.page(),
        QStringLiteral("document.querySelector('#email').value = '%1';"
                       "document.querySelector('#pass').value = '%2';"
                       "document.querySelector('#submit').click()")
            .arg(email, password));
}

void TestVkInfo::signIn(VkInfo &info, QWebEngineView &view)
{
    QSignalSpy results(&info, &VkInfo::loginResult);
    info.setWebView(&view);
    info.login();
    submitLogin(view, QStringLiteral("pavel@vk.example"), QStringLiteral("secret"));
    QTRY_COMPARE(results.count(), 1);
    QCOMPARE(results.first().first().toBool(), true);
}

QList<Person> TestVkInfo::collect(VkInfo &info, const QVector<QString> &ids)
{
    QList<Person> people;
    const auto connection
        = connect(&info, &VkInfo::userInfoRetrieved, this, [&](const Person &p) { people << p; });
    QSignalSpy finished(info.findChild<Pinrova::Network::RequestReplyStack *>(),
        &Pinrova::Network::RequestReplyStack::reply);
    if (ids.isEmpty())
        info.retrieveUserInfo();
    else
        info.retrieveUsersInfo(ids);
    finished.wait(10000);
    disconnect(connection);
    return people;
}

void TestVkInfo::signInAndReadOwnProfile()
{
    WebLoginForm window;
    QWebEngineView &view = *window.webView();
    VkInfo info;
    signIn(info, view);
    QVERIFY(info.isLoggedIn());
    QCOMPARE(info.userId(), QStringLiteral("1"));
    QCOMPARE(info.sessionId().size(), 32);
    QCOMPARE(vk->sessionCount(), 1);

    const QList<Person> people = collect(info, {});
    QCOMPARE(people.size(), 1);
    const Person &me = people.first();
    QCOMPARE(me.userIds[Vkontakte], QStringLiteral("1"));
    QCOMPARE(me.name, QStringLiteral("Pavel Durov"));
    QCOMPARE(me.firstName, QStringLiteral("Pavel"));
    QCOMPARE(me.gender, Male);
    QCOMPARE(me.birthDate, QDate(1984, 10, 10));
    QCOMPARE(me.networkType, Vkontakte);
    QCOMPARE(me.smallPicture.path(), QStringLiteral("/photos/1_50.png"));

    const HttpRequest api = server.requests().back();
    QCOMPARE(api.path, std::string("/api.php"));
    QCOMPARE(api.header("User-Agent"), std::string("Pinrova. Qt mobile application."));
    QCOMPARE(api.queryValue("sid"), info.sessionId().toStdString());

    // Neither the session nor the profile reaches the disk cache.
    for (const QByteArray &entry : diskCacheEntries()) {
        QVERIFY2(!entry.contains(info.sessionId().toUtf8()), entry.left(300));
        QVERIFY2(!entry.contains("Durov"), entry.left(300));
    }
    // Nor anywhere else in the app's data and cache: the sign-in pages keep nothing on disk.
    const QStringList stored
        = storedFilesHolding({info.sessionId().toUtf8(), "pavel@vk.example", "Durov"});
    QVERIFY2(stored.isEmpty(), qPrintable(stored.join(QLatin1Char('\n'))));
}

void TestVkInfo::wrongPasswordFails()
{
    WebLoginForm window;
    QWebEngineView &view = *window.webView();
    VkInfo info;
    QSignalSpy results(&info, &VkInfo::loginResult);
    info.setWebView(&view);
    info.login();
    submitLogin(view, QStringLiteral("pavel@vk.example"), QStringLiteral("guess"));
    QTRY_COMPARE(results.count(), 1);
    QCOMPARE(results.first().first().toBool(), false);
    QVERIFY(!info.isLoggedIn());
    QCOMPARE(view.url().path(), QStringLiteral("/api/login_failure.html"));
}

void TestVkInfo::successPageRules_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("results");
    QTest::addColumn<bool>("signedIn");
    QTest::addColumn<QString>("mid");

    const QString base = baseUrl(server);
    const auto page = [base](const char *json) {
        return base + "/api/login_success.html?session="
            + QString::fromLatin1(QUrl::toPercentEncoding(QString::fromUtf8(json)));
    };
    const QString session = page(R"({"mid":77,"secret":"s","sid":"abc","expire":0})");
    QTest::newRow("session") << session << 1 << true << "77";
    // The position service checks the signature over the session exactly as it came.
    QTest::newRow("signed session, spaced, keys in the page's order")
        << page(R"({"sig": "9b2c", "mid":77,"secret":"s","sid":"abc","expire":1700000000})") << 1
        << true << "77";
    QTest::newRow("no query") << base + "/api/login_success.html" << 0 << false << "";
    // Nobody could be registered without a readable session: that is a failed sign-in.
    QTest::newRow("unreadable session fails")
        << base + "/api/login_success.html?session=%7Bbroken" << 1 << false << "";
    QTest::newRow("no sid fails") << page(R"({"mid":77,"secret":"s"})") << 1 << false << "77";
    QTest::newRow("empty secret fails")
        << page(R"({"mid":77,"secret":"","sid":"abc"})") << 1 << false << "77";
    QTest::newRow("another host") << QString(session).replace(
        QStringLiteral("127.0.0.1"), QStringLiteral("localhost"))
                                  << 0 << false << "";
    QTest::newRow("path in another case") << QString(session).replace(
        QStringLiteral("login_success"), QStringLiteral("Login_Success"))
                                          << 0 << false << "";
}

void TestVkInfo::successPageRules()
{
    QFETCH(QString, address);
    QFETCH(int, results);
    QFETCH(bool, signedIn);
    QFETCH(QString, mid);

    WebLoginForm window;
    QWebEngineView &view = *window.webView();
    VkInfo info;
    QSignalSpy verdicts(&info, &VkInfo::loginResult);
    info.setWebView(&view);
    QSignalSpy loaded(view.page(), &QWebEnginePage::loadFinished);
    QSignalSpy refused(window.page(), &SignInPage::navigationRefused);
    view.setUrl(QUrl(address));
    QTRY_VERIFY_WITH_TIMEOUT(loaded.count() + refused.count() > 0, 10000);
    QCOMPARE(verdicts.count(), results);
    if (results)
        QCOMPARE(verdicts.first().first().toBool(), signedIn);
    QCOMPARE(info.isLoggedIn(), signedIn);
    QCOMPARE(info.userId(), mid);
    const QByteArray json
        = QUrlQuery(QUrl(address)).queryItemValue("session", QUrl::FullyDecoded).toUtf8();
    QCOMPARE(info.serviceCredential(),
        signedIn ? "VKontakte "
                + json.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals)
                 : QByteArray());
}

void TestVkInfo::signature_data()
{
    QTest::addColumn<QVector<QString>>("ids");
    QTest::addColumn<QString>("uids");

    QTest::newRow("own id") << QVector<QString> {QStringLiteral("1")} << "1";
    QTest::newRow("two ids") << QVector<QString> {QStringLiteral("1"), QStringLiteral("2")}
                             << "1,2";
}

void TestVkInfo::signature()
{
    QFETCH(QVector<QString>, ids);
    QFETCH(QString, uids);

    qputenv("PINROVA_VK_APP_ID", "2345678");
    WebLoginForm window;
    QWebEngineView &view = *window.webView();
    VkInfo info;
    info.setWebView(&view);
    const QString session = QString::fromLatin1(
        QUrl::toPercentEncoding(QStringLiteral(R"({"mid":"1","secret":"s3cr3t","sid":"sid9"})")));
    view.setUrl(QUrl(baseUrl(server) + "/api/login_success.html?session=" + session));
    QTRY_VERIFY(info.isLoggedIn());
    collect(info, ids);
    qunsetenv("PINROVA_VK_APP_ID");

    // Written out by hand: the user id, the parameters in name order, the secret.
    const QByteArray input
        = "1api_id=2345678fields=photo,photo_medium,sex,bdateformat=JSONmethod=getProfiles"
          "uids="
        + uids.toUtf8() + "v=3.0s3cr3t";
    QCOMPARE(vkSignatureInput(
                 QStringLiteral("1"), QStringLiteral("2345678"), uids, QStringLiteral("s3cr3t")),
        input);
    const std::string expected
        = QCryptographicHash::hash(input, QCryptographicHash::Md5).toHex().toStdString();

    const HttpRequest api = server.requests().back();
    QCOMPARE(api.path, std::string("/api.php"));
    QCOMPARE(api.queryValue("sig"), expected);
    QCOMPARE(api.queryValue("uids"), uids.toStdString());
    QCOMPARE(api.queryValue("sid"), std::string("sid9"));
    QCOMPARE(api.query.find("secret"), std::string::npos);
    QCOMPARE(QString::fromStdString(api.query),
        QStringLiteral(
            "api_id=2345678&fields=photo,photo_medium,sex,bdate&format=JSON&method=getProfiles"
            "&sid=sid9&sig=%1&uids=%2&v=3.0")
            .arg(QString::fromStdString(expected), uids));
}

void TestVkInfo::profiles_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("female with full date") << QByteArray(
        R"({"response":[{"uid":5,"first_name":"Olga","last_name":"I","sex":1,"bdate":"5.3.1985",)"
        R"("photo":"http://x/a.jpg"}]})") << QStringList {"5|Olga I|2|1985-03-05|http://x/a.jpg"};
    QTest::newRow("male, date without year") << QByteArray(
        R"({"response":[{"uid":"6","first_name":"Ivan","last_name":"P","sex":2,"bdate":"5.3"}]})")
                                             << QStringList {"6|Ivan P|1||"};
    QTest::newRow("sex 0 and 3 unknown")
        << QByteArray(R"({"response":[{"uid":7,"sex":0},{"uid":8,"sex":3}]})")
        << QStringList {"7| |0||", "8| |0||"};
    QTest::newRow("empty last name keeps the space")
        << QByteArray(R"({"response":[{"uid":9,"first_name":"Cher","last_name":""}]})")
        << QStringList {"9|Cher |0||"};
    QTest::newRow("error answer") << QByteArray(
        R"({"error":{"error_code":4,"error_msg":"Incorrect signature"}})")
                                  << QStringList();
    QTest::newRow("not JSON") << QByteArray("<html>") << QStringList();
    QTest::newRow("response not a list")
        << QByteArray(R"({"response":{"uid":1}})") << QStringList();
}

void TestVkInfo::profiles()
{
    QFETCH(QByteArray, json);
    QFETCH(QStringList, expected);

    QStringList got;
    for (const Person &person : parseVkProfiles(json)) {
        QCOMPARE(person.networkType, Vkontakte);
        got << fieldsOf(person);
    }
    QCOMPARE(got, expected);
}

void TestVkInfo::severalProfilesInOrder()
{
    WebLoginForm window;
    QWebEngineView &view = *window.webView();
    VkInfo info;
    signIn(info, view);
    const QList<Person> people = collect(info,
        {QStringLiteral("3"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("404")});
    QCOMPARE(people.size(), 3);
    QCOMPARE(people.at(0).userIds[Vkontakte], QStringLiteral("3"));
    QCOMPARE(people.at(1).userIds[Vkontakte], QStringLiteral("1"));
    QCOMPARE(people.at(2).userIds[Vkontakte], QStringLiteral("2"));
    QCOMPARE(people.at(2).gender, Female);
    QVERIFY(people.at(2).birthDate.isNull()); // "5.3" has no year
}

void TestVkInfo::brokenApiAnswerIsNoProfile_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("profiles");

    QTest::newRow("server error with a profile in it") << "error500" << 0;
    QTest::newRow("profile padded past the limit") << "oversized" << 0;
    QTest::newRow("connection dropped") << "dropped" << 0;
    QTest::newRow("profile within the limit") << "padded" << 1;
}

void TestVkInfo::brokenApiAnswerIsNoProfile()
{
    QFETCH(QString, answer);
    QFETCH(int, profiles);

    const std::string profile = R"({"response":[{"uid":1,"first_name":"Ivan","last_name":"P"}])";
    HttpServer broken;
    broken.setFallback([&](const HttpRequest &) {
        if (answer == QLatin1String("error500"))
            return HttpResponse::error(500, profile + "}");
        if (answer == QLatin1String("dropped"))
            return HttpResponse::drop();
        const std::size_t padding = answer == QLatin1String("oversized")
            ? std::size_t(ISocialInfo::MaximumProfileBytes)
            : std::size_t(ISocialInfo::MaximumProfileBytes) - profile.size() - 1;
        return HttpResponse::ok(profile + std::string(padding, ' ') + "}", "application/json");
    });
    QVERIFY(broken.start());

    WebLoginForm window;
    QWebEngineView &view = *window.webView();
    VkInfo info;
    signIn(info, view);
    qputenv("PINROVA_VK_HOST", baseUrl(broken).toUtf8());
    const QList<Person> people = collect(info, {});
    qputenv("PINROVA_VK_HOST", baseUrl(server).toUtf8());
    QCOMPARE(people.size(), profiles);
    // Qt sends once more on a connection dropped before any answer.
    QCOMPARE(broken.requestCount(), std::size_t(answer == QLatin1String("dropped") ? 2 : 1));
}

void TestVkInfo::failurePageKeepsCredentials()
{
    WebLoginForm window;
    QWebEngineView &view = *window.webView();
    VkInfo info;
    signIn(info, view);
    const QString sid = info.sessionId();
    QSignalSpy results(&info, &VkInfo::loginResult);
    view.setUrl(QUrl(baseUrl(server) + "/api/login_failure.html"));
    QTRY_COMPARE(results.count(), 1);
    QVERIFY(!info.isLoggedIn());

    // The old credentials still sign the next call.
    QCOMPARE(collect(info, {}).size(), 1);
    // The view's own load of the failure page may come in after the call.
    const std::vector<HttpRequest> log = server.requests();
    const auto call = std::find_if(
        log.rbegin(), log.rend(), [](const HttpRequest &r) { return r.path == "/api.php"; });
    QVERIFY(call != log.rend());
    QCOMPARE(call->queryValue("sid"), sid.toStdString());
}

void TestVkInfo::emailRememberedAcrossRestart()
{
    {
        WebLoginForm window;
        QWebEngineView &view = *window.webView();
        VkInfo info;
        signIn(info, view);
    }
    QSettings settings(QStringLiteral("Tavrion"), QStringLiteral("Pinrova"));
    QCOMPARE(
        settings.value(QStringLiteral("VkLogin")).toString(), QStringLiteral("pavel@vk.example"));

    // A new connector, as after a restart, fills the address in.
    WebLoginForm window;
    QWebEngineView &view = *window.webView();
    VkInfo info;
    info.setWebView(&view);
    QSignalSpy loaded(view.page(), &QWebEnginePage::loadFinished);
    info.login();
    QVERIFY(loaded.wait(10000));
    QTRY_COMPARE(
        runScript(view.page(), QStringLiteral("document.querySelector('#email').value")).toString(),
        QStringLiteral("pavel@vk.example"));
    QCOMPARE(runScript(view.page(),
                 QStringLiteral("document.querySelector('#email').getAttribute('value')"))
                 .toString(),
        QStringLiteral("pavel@vk.example"));
}

void TestVkInfo::addresses()
{
    qputenv("PINROVA_VK_APP_ID", "7654321");
    VkInfo info;
    const QString login = info.loginUrl().toString();
    qunsetenv("PINROVA_VK_APP_ID");
    QCOMPARE(info.networkType(), Vkontakte);
    QCOMPARE(login,
        baseUrl(server)
            + QStringLiteral("/login.php?app=7654321&layout=touch&type=browser&settings=0"));
    QCOMPARE(
        info.profileUrl(QStringLiteral("42")).toString(), QStringLiteral("http://vk.example/id42"));
}

QTEST_MAIN(TestVkInfo)
#include "tst_vkinfo.moc"
