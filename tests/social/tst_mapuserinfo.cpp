#include <QDesktopServices>
#include <QLabel>
#include <QNetworkReply>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include "isocialinfo.h"
#include "mapuserinfo.h"
#include "requestreplystack.h"
#include "testsupport.h"

using namespace Pinrova::Testing;

namespace {

// Stands in for the system browser.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened << url; }
};

QLabel *label(MapUserInfo &dialog, const char *name)
{
    return dialog.findChild<QLabel *>(QString::fromLatin1(name));
}

QColor pictureColor(MapUserInfo &dialog)
{
    const QPixmap picture = label(dialog, "mediumPic")->pixmap(Qt::ReturnByValue);
    return picture.isNull() ? QColor() : picture.toImage().pixelColor(1, 1);
}

Person somebody(NetworkType network, const QString &id, const QUrl &picture)
{
    Person person;
    person.name = QStringLiteral("Vera Orlova");
    person.gender = Female;
    person.networkType = network;
    person.userIds[network] = id;
    person.mediumPicture = picture;
    return person;
}

} // namespace

class TestMapUserInfo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void form();
    void texts_data();
    void texts();
    void pictures_data();
    void pictures();
    void laterPersonWins();
    void localFilesAreNotRead();
    void viewProfile_data();
    void viewProfile();

private:
    QUrl url(const std::string &path) const
    {
        return QUrl(baseUrl(server) + QString::fromStdString(path));
    }

    HttpServer server;
    QTranslator english;
    UrlCatcher browser;
};

void TestMapUserInfo::initTestCase()
{
    qRegisterMetaType<QNetworkReply *>();
    useCleanTestPaths();
    QVERIFY(english.load(QStringLiteral("pinrova_en"), QStringLiteral(":/translations")));
    QCoreApplication::installTranslator(&english);
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &browser, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "open");

    const std::string red = toStd(pngBytes(Qt::red, 100));
    const std::string blue = toStd(pngBytes(Qt::blue, 100));
    const std::string huge = toStd(pngBytes(Qt::green, 3000));
    server.route(
        "/red.png", [red](const HttpRequest &) { return HttpResponse::ok(red, "image/png"); });
    server.route(
        "/blue.png", [blue](const HttpRequest &) { return HttpResponse::ok(blue, "image/png"); });
    server.route("/slow-red.png", [red](const HttpRequest &) {
        return HttpResponse::ok(red, "image/png").withDelay(std::chrono::milliseconds(300));
    });
    server.route(
        "/huge.png", [huge](const HttpRequest &) { return HttpResponse::ok(huge, "image/png"); });
    server.route("/moved", [](const HttpRequest &) { return HttpResponse::redirect("/blue.png"); });
    server.route("/loop", [](const HttpRequest &) { return HttpResponse::redirect("/loop"); });
    server.route("/garbage.png",
        [](const HttpRequest &) { return HttpResponse::ok("not a picture", "image/png"); });
    QVERIFY(server.start());
    qputenv("PINROVA_FACEBOOK_WEB", "https://facebook.example");
    qputenv("PINROVA_VK_PROFILE", "http://vk.example");
}

void TestMapUserInfo::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    Pinrova::Social::releaseSocialInfos();
}

void TestMapUserInfo::init()
{
    server.clearLog();
    browser.opened.clear();
}

void TestMapUserInfo::form()
{
    QWidget owner;
    MapUserInfo dialog(&owner);
    QVERIFY(dialog.isWindow());
    QCOMPARE(dialog.objectName(), QStringLiteral("MapUserInfo"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Person details"));
    QCOMPARE(dialog.size(), QSize(558, 483));
    QCOMPARE(label(dialog, "lblName")->text(), QStringLiteral("-")); // the catalogue's placeholder
    QCOMPARE(label(dialog, "label")->font().weight(), 75);
    QCOMPARE(label(dialog, "mediumPic")->size(), QSize(100, 158));
    QCOMPARE(label(dialog, "lblNetIcon")->size(), QSize(48, 48));
    QCOMPARE(label(dialog, "OnlineIcon")->size(), QSize(13, 12));
    QCOMPARE(int(label(dialog, "lblName")->alignment()), 130);
    QCOMPARE(dialog.findChild<QPushButton *>(QStringLiteral("ViewProfile"))->text(),
        QStringLiteral("View profile"));
}

void TestMapUserInfo::texts_data()
{
    QTest::addColumn<int>("network");
    QTest::addColumn<bool>("online");
    QTest::addColumn<int>("gender");
    QTest::addColumn<QString>("genderText");
    QTest::addColumn<QString>("networkName");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("hasIcon");

    QTest::newRow("facebook, online") << int(Facebook) << true << int(Female) << "Female"
                                      << "facebook"
                                      << "Online" << true;
    QTest::newRow("vk, offline") << int(Vkontakte) << false << int(Male) << "Male"
                                 << "vk.com"
                                 << "Offline" << true;
    QTest::newRow("network without icon") << int(MailRu) << true << int(UnknownGender) << "Unknown"
                                          << ""
                                          << "Online" << false;
}

void TestMapUserInfo::texts()
{
    QFETCH(int, network);
    QFETCH(bool, online);
    QFETCH(int, gender);
    QFETCH(QString, genderText);
    QFETCH(QString, networkName);
    QFETCH(QString, status);
    QFETCH(bool, hasIcon);

    MapUserInfo dialog;
    Person person = somebody(NetworkType(network), QStringLiteral("5"), url("/red.png"));
    person.gender = Gender(gender);
    dialog.setPerson(person, online);
    QCOMPARE(label(dialog, "lblName")->text(), QStringLiteral("Vera Orlova"));
    QCOMPARE(label(dialog, "lblGender")->text(), genderText);
    QCOMPARE(label(dialog, "lblNetworkName")->text(), networkName);
    QCOMPARE(label(dialog, "OnlineStatus")->text(), status);
    QCOMPARE(!label(dialog, "lblNetIcon")->pixmap(Qt::ReturnByValue).isNull(), hasIcon);
    if (hasIcon)
        QCOMPARE(label(dialog, "lblNetIcon")->pixmap(Qt::ReturnByValue).size(), QSize(48, 48));
    const QImage dot = label(dialog, "OnlineIcon")->pixmap(Qt::ReturnByValue).toImage();
    const QImage expected(online ? QStringLiteral(":/Icons/Map/DotOnline.png")
                                 : QStringLiteral(":/Icons/Map/DotOffline.png"));
    QCOMPARE(dot.convertToFormat(QImage::Format_ARGB32),
        expected.convertToFormat(QImage::Format_ARGB32));
}

void TestMapUserInfo::pictures_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QColor>("shown");
    QTest::addColumn<int>("requests");

    QTest::newRow("direct") << QStringLiteral("/red.png") << QColor(Qt::red) << 1;
    QTest::newRow("redirected") << QStringLiteral("/moved") << QColor(Qt::blue) << 2;
    QTest::newRow("redirect loop ends")
        << QStringLiteral("/loop") << QColor() << 1 + MapUserInfo::MaximumRedirects;
    QTest::newRow("header too large") << QStringLiteral("/huge.png") << QColor() << 1;
    QTest::newRow("not a picture") << QStringLiteral("/garbage.png") << QColor() << 1;
    QTest::newRow("missing") << QStringLiteral("/nothing.png") << QColor() << 1;
}

void TestMapUserInfo::pictures()
{
    QFETCH(QString, path);
    QFETCH(QColor, shown);
    QFETCH(int, requests);

    MapUserInfo dialog;
    auto *stack = dialog.findChild<Pinrova::Network::RequestReplyStack *>();
    QVERIFY(stack);
    dialog.setPerson(somebody(Facebook, QStringLiteral("5"), url(path.toStdString())), true);
    QTRY_COMPARE(static_cast<int>(server.requestCount()), requests);
    QTRY_COMPARE(stack->pendingCount(), 0);
    QTest::qWait(50);
    QCOMPARE(static_cast<int>(server.requestCount()), requests);
    QCOMPARE(pictureColor(dialog), shown);
    if (!shown.isValid())
        QVERIFY(label(dialog, "mediumPic")->pixmap(Qt::ReturnByValue).isNull());
    for (const HttpRequest &request : server.requests())
        QCOMPARE(request.header("User-Agent"), std::string("Pinrova. Qt mobile application."));
}

void TestMapUserInfo::laterPersonWins()
{
    MapUserInfo dialog;
    dialog.setPerson(somebody(Facebook, QStringLiteral("1"), url("/slow-red.png")), true);
    QTRY_COMPARE(server.requestCount("/slow-red.png"), 1); // A's picture is on its way
    Person b = somebody(Vkontakte, QStringLiteral("2"), url("/blue.png"));
    b.name = QStringLiteral("B");
    dialog.setPerson(b, false);
    QTRY_COMPARE(pictureColor(dialog), QColor(Qt::blue));
    QTest::qWait(500); // past the slow picture's answer
    QCOMPARE(pictureColor(dialog), QColor(Qt::blue));
    QCOMPARE(label(dialog, "lblName")->text(), QStringLiteral("B"));
}

void TestMapUserInfo::localFilesAreNotRead()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("picture.png"));
    QVERIFY(QImage::fromData(pngBytes(Qt::red, 100)).save(path));
    MapUserInfo dialog;
    dialog.setPerson(somebody(Facebook, QStringLiteral("5"), QUrl::fromLocalFile(path)), true);
    QTest::qWait(200);
    QVERIFY(label(dialog, "mediumPic")->pixmap(Qt::ReturnByValue).isNull());

    // Nor behind a redirect.
    server.route("/to-file", [path](const HttpRequest &) {
        return HttpResponse::redirect(QUrl::fromLocalFile(path).toString().toStdString());
    });
    dialog.setPerson(somebody(Facebook, QStringLiteral("5"), url("/to-file")), true);
    QTRY_COMPARE(server.requestCount("/to-file"), 1);
    QTest::qWait(200);
    QVERIFY(label(dialog, "mediumPic")->pixmap(Qt::ReturnByValue).isNull());
}

void TestMapUserInfo::viewProfile_data()
{
    QTest::addColumn<int>("network");
    QTest::addColumn<QString>("expected");

    QTest::newRow("facebook") << int(Facebook) << "https://facebook.example/profile.php?id=77";
    QTest::newRow("vk") << int(Vkontakte) << "http://vk.example/id77";
    QTest::newRow("twitter has no connector") << int(Twitter) << "";
    QTest::newRow("unknown network") << int(UnknownNetwork) << "";
}

void TestMapUserInfo::viewProfile()
{
    QFETCH(int, network);
    QFETCH(QString, expected);

    MapUserInfo dialog;
    dialog.setPerson(somebody(NetworkType(network), QStringLiteral("77"), url("/red.png")), true);
    QTest::mouseClick(
        dialog.findChild<QPushButton *>(QStringLiteral("ViewProfile")), Qt::LeftButton);
    if (expected.isEmpty())
        QVERIFY(browser.opened.isEmpty());
    else
        QCOMPARE(browser.opened, QList<QUrl> {QUrl(expected)});
}

QTEST_MAIN(TestMapUserInfo)
#include "tst_mapuserinfo.moc"
