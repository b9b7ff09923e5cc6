#include "identity/picturehosts.h"

#include <QtTest>

using Pinrova::Server::Identity::PictureHosts;

class TestPictureHosts : public QObject
{
    Q_OBJECT

private slots:
    void admits_data();
    void admits();
    void refusesMalformedLists_data();
    void refusesMalformedLists();
};

void TestPictureHosts::admits_data()
{
    QTest::addColumn<QString>("network");
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("admitted");

    QTest::newRow("the Graph API's picture address")
        << "facebook"
        << "https://graph.facebook.com/42/picture?type=square" << true;
    QTest::newRow("a CDN host under a listed one")
        << "facebook"
        << "https://scontent.xx.fbcdn.net/v/p.jpg" << true;
    QTest::newRow("a host that only ends in the same letters")
        << "facebook"
        << "https://evilfbcdn.net/p.jpg" << false;
    QTest::newRow("a listed host as a subdomain of another")
        << "facebook"
        << "https://fbcdn.net.watcher.example/p.jpg" << false;
    QTest::newRow("a listed host as user info")
        << "facebook"
        << "https://fbcdn.net@watcher.example/p.jpg" << false;
    QTest::newRow("plain http where https is listed")
        << "facebook"
        << "http://graph.facebook.com/42/picture" << false;
    QTest::newRow("upper-case scheme and host") << "facebook"
                                                << "HTTPS://Graph.Facebook.COM/42/picture" << true;
    QTest::newRow("a port on a listed host") << "vkontakte"
                                             << "https://sun9.userapi.com:443/a.jpg" << true;
    QTest::newRow("another network's host") << "vkontakte"
                                            << "https://fbcdn.net/p.jpg" << false;
    QTest::newRow("a network without a list") << "twitter"
                                              << "https://fbcdn.net/p.jpg" << false;
    QTest::newRow("no scheme") << "facebook"
                               << "fbcdn.net/p.jpg" << false;
}

void TestPictureHosts::admits()
{
    QFETCH(QString, network);
    QFETCH(QString, url);
    QFETCH(bool, admitted);
    const PictureHosts hosts = PictureHosts::defaults();
    QCOMPARE(hosts.admits(network.toStdString(), url.toStdString()), admitted);
}

void TestPictureHosts::refusesMalformedLists_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("the sandbox's plain-http loopback host") << "vkontakte=http://127.0.0.1" << true;
    QTest::newRow("no network") << "fbcdn.net" << false;
    QTest::newRow("a network the app cannot sign in with") << "twitter=twimg.com" << false;
    QTest::newRow("a scheme other than http and https") << "facebook=ftp://fbcdn.net" << false;
    QTest::newRow("a path after the host") << "facebook=fbcdn.net/pictures" << false;
    QTest::newRow("an empty entry") << "facebook=fbcdn.net,,graph.facebook.com" << false;
}

void TestPictureHosts::refusesMalformedLists()
{
    QFETCH(QString, option);
    QFETCH(bool, accepted);
    PictureHosts hosts = PictureHosts::defaults();
    QCOMPARE(hosts.set(option.toStdString()), accepted);
}

QTEST_APPLESS_MAIN(TestPictureHosts)
#include "tst_picturehosts.moc"
