#include "posdtesting.h"
#include "sandboxtesting.h"

#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

using namespace Pinrova::Testing;

// pinrova-sandbox as the demo script runs it: its options, the addresses it prints, what it
// serves there, and a clean stop.
class TestPinrovaSandbox : public QObject
{
    Q_OBJECT

private slots:
    void printsAndServesItsAddresses();
    void theCrowdIsListedWithPicturesAndProfiles();
    void refusesBadOptions_data();
    void refusesBadOptions();
};

namespace {

const QStringList AddressNames = {"PINROVA_TILE_SERVER", "PINROVA_POSITION_SERVICE",
    "PINROVA_FACEBOOK_WEB", "PINROVA_FACEBOOK_GRAPH", "PINROVA_FACEBOOK_CLIENT_ID",
    "PINROVA_REDIRECT_HOST", "PINROVA_VK_HOST", "PINROVA_VK_PROFILE", "PINROVA_VK_APP_ID"};

// The NAME=URL lines of the output, once all of them are there.
QMap<QString, QString> waitForAddresses(ChildProcess &sandbox)
{
    QMap<QString, QString> addresses;
    const auto match = sandbox.waitForOutput(QRegularExpression("PINROVA_VK_APP_ID=\\S+\\n"));
    if (!match.hasMatch())
        return addresses;
    const QRegularExpression line(
        "^(PINROVA_[A-Z_]+)=(\\S*)$", QRegularExpression::MultilineOption);
    auto lines = line.globalMatch(QString::fromUtf8(sandbox.output()));
    while (lines.hasNext()) {
        const auto found = lines.next();
        addresses.insert(found.captured(1), found.captured(2));
    }
    return addresses;
}

QProcessEnvironment environmentWith(const QString &name, const QString &value)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(name, value);
    return environment;
}

} // namespace

void TestPinrovaSandbox::printsAndServesItsAddresses()
{
    QTemporaryDir folder;
    const QString file = folder.filePath("addresses.env");
    QFile stale(file);
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write("PINROVA_TILE_SERVER=http://127.0.0.1:1\n");
    stale.close();

    // The identifiers come from the same variables the application reads.
    ChildProcess sandbox(SANDBOX_EXECUTABLE,
        {"--crowd", "0", "--print-addresses", "--addresses-file", file, "--position-service",
            "http://127.0.0.1:9"},
        environmentWith("PINROVA_FACEBOOK_CLIENT_ID", "123456789012345"));
    const QMap<QString, QString> addresses = waitForAddresses(sandbox);
    QCOMPARE(addresses.keys(), [] {
        QStringList sorted = AddressNames;
        sorted.sort();
        return sorted;
    }());
    QCOMPARE(addresses.value("PINROVA_POSITION_SERVICE"), QStringLiteral("http://127.0.0.1:9"));
    QCOMPARE(addresses.value("PINROVA_FACEBOOK_CLIENT_ID"), QStringLiteral("123456789012345"));

    QFile written(file);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromUtf8(written.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), AddressNames.size());
    for (const QString &line : lines)
        QCOMPARE(line.section('=', 1), addresses.value(line.section('=', 0, 0)));
    written.close();

    const Fetched tile = fetch(QUrl(addresses.value("PINROVA_TILE_SERVER") + "/13/4785/2381.png"));
    QCOMPARE(tile.status, 200);
    QCOMPARE(QImage::fromData(tile.body, "PNG").size(), QSize(256, 256));

    const QString dialog = addresses.value("PINROVA_FACEBOOK_WEB")
        + "/dialog/oauth?client_id=123456789012345&redirect_uri=http://"
        + addresses.value("PINROVA_REDIRECT_HOST") + "/&response_type=token";
    QCOMPARE(fetch(QUrl(dialog)).status, 200);
    const QString vkLogin = addresses.value("PINROVA_VK_HOST")
        + "/login.php?app=" + addresses.value("PINROVA_VK_APP_ID");
    QCOMPARE(fetch(QUrl(vkLogin)).status, 200);

    QCOMPARE(sandbox.terminate(), 0);
    QVERIFY2(!QFile::exists(file), "the addresses outlived the sandbox");
}

// With the service checking every credential, as scripts/run starts them: the crowd registers
// with Facebook tokens that the stand-in's /debug_token vouches for and VKontakte sessions it
// signed, and their pictures pass the service's picture hosts.
void TestPinrovaSandbox::theCrowdIsListedWithPicturesAndProfiles()
{
    QTemporaryDir secrets;
    const QByteArray vkSecret = "vk-" + QByteArray::number(QRandomGenerator::system()->generate());
    const QByteArray facebookSecret
        = "fb-" + QByteArray::number(QRandomGenerator::system()->generate());
    const QString vkFile = secrets.filePath("vk"), facebookFile = secrets.filePath("facebook");
    for (const auto &[path, secret] :
        {std::pair(vkFile, vkSecret), {facebookFile, facebookSecret}}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(secret + '\n');
    }
    const quint16 port = freeLoopbackPort();
    ChildProcess sandbox(SANDBOX_EXECUTABLE,
        {"--crowd", "6", "--print-addresses", "--report-ms", "200", "--position-service",
            QStringLiteral("http://127.0.0.1:%1").arg(port), "--facebook-app-secret-file",
            facebookFile, "--vk-app-secret-file", vkFile});
    const QMap<QString, QString> addresses = waitForAddresses(sandbox);
    QVERIFY2(!addresses.isEmpty(), sandbox.output().constData());
    PosdProcess posd(
        {"--facebook-graph", addresses.value("PINROVA_FACEBOOK_GRAPH"), "--facebook-app-id",
            addresses.value("PINROVA_FACEBOOK_CLIENT_ID"), "--facebook-app-secret-file",
            facebookFile, "--vk-app-secret-file", vkFile, "--picture-hosts",
            "facebook=http://127.0.0.1", "--picture-hosts", "vkontakte=http://127.0.0.1"},
        port);
    QVERIFY(posd.isListening());
    const QByteArray key = posd.registerWatcher(vkSecret);
    QCOMPARE(key.size(), 43);
    QVERIFY(posd.getUsers(59.944069, 30.306141, 13).isEmpty()); // no key, no list

    // Asked once a second: the service lists at that pace per key.
    QVector<ListedUser> listed;
    for (int attempt = 0; attempt < 15; ++attempt) {
        if (readUserList(posd.getUsers(59.944069, 30.306141, 13, key), listed)
            && listed.size() == 6)
            break;
        QTest::qWait(1000);
    }
    QCOMPARE(listed.size(), 6);
    QSet<QString> networks;
    for (const ListedUser &user : listed)
        networks.insert(user.ids.value(0).second);
    QCOMPARE(networks.size(), 2);
    for (const ListedUser &user : listed) {
        QCOMPARE(
            QImage::fromData(fetch(QUrl(user.smallPicture)).body, "PNG").size(), QSize(50, 50));
        QCOMPARE(
            QImage::fromData(fetch(QUrl(user.mediumPicture)).body, "PNG").size(), QSize(100, 100));
        // "View profile" opens the page of the person's own network.
        const QString id = user.ids.value(0).first;
        const QString profile = user.ids.value(0).second == "facebook"
            ? addresses.value("PINROVA_FACEBOOK_WEB") + "/profile.php?id=" + id
            : addresses.value("PINROVA_VK_PROFILE") + "/id" + id;
        const Fetched page = fetch(QUrl(profile));
        QCOMPARE(page.status, 200);
        QVERIFY2(page.body.contains(user.name.section(' ', 0, 0).toUtf8()), page.body.constData());
    }
    QCOMPARE(sandbox.terminate(), 0);
}

void TestPinrovaSandbox::refusesBadOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("crowd too large") << QStringList {"--crowd", "5000"} << 2 << "--crowd";
    QTest::newRow("crowd not a number") << QStringList {"--crowd", "many"} << 2 << "--crowd";
    QTest::newRow("city too large") << QStringList {"--settled", "1000001"} << 2 << "--settled";
    QTest::newRow("centre off the map") << QStringList {"--center", "89,30"} << 2 << "--center";
    QTest::newRow("service not http")
        << QStringList {"--position-service", "ftp://127.0.0.1"} << 2 << "--position-service";
    QTest::newRow("unknown option") << QStringList {"--fly"} << 2 << "fly";
    QTest::newRow("demo users missing")
        << QStringList {"--demo-users", "/nonexistent/users.json"} << 2 << "users.json";
    QTest::newRow("MBTiles missing")
        << QStringList {"--mbtiles", "/nonexistent/city.mbtiles"} << 1 << "city.mbtiles";
}

void TestPinrovaSandbox::refusesBadOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    ChildProcess sandbox(SANDBOX_EXECUTABLE, arguments);
    QVERIFY(sandbox.process().waitForFinished(10000));
    QCOMPARE(sandbox.process().exitCode(), exitCode);
    QVERIFY2(sandbox.process().readAll().contains(message.toUtf8()), qPrintable(message));
}

QTEST_MAIN(TestPinrovaSandbox)
#include "tst_pinrovasandbox.moc"
