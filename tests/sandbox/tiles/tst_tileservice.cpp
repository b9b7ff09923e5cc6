#include "calmtilepainter.h"
#include "httpserver.h"
#include "tilecache.h"
#include "tileindex.h"
#include "tileservice.h"

#include "sandboxtesting.h"

#include <QDateTime>
#include <QImage>
#include <QSet>
#include <QtTest>

#include <atomic>
#include <memory>

using namespace Pinrova::Sandbox;
using namespace Pinrova::Testing;

// The generated tiles over real HTTP, as the application's tile engine asks for them.
class TestTileService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyZoomGivesATile_data();
    void everyZoomGivesATile();
    void badPathsAreNotFound_data();
    void badPathsAreNotFound();
    void repeatedTilesComeFromTheCache();

private:
    QUrl tileUrl(const QString &path) const
    {
        return QUrl(QString::fromStdString(server.baseUrl()) + path);
    }

    Pinrova::Http::HttpServer server;
    std::unique_ptr<TileService> service;
    std::shared_ptr<std::atomic<int>> rendered = std::make_shared<std::atomic<int>>(0);
};

void TestTileService::initTestCase()
{
    QVERIFY(server.start());
    auto painter = std::make_shared<const CalmTilePainter>();
    service = std::make_unique<TileService>(
        server,
        [painter, count = rendered](const TileIndex &tile) -> std::optional<std::string> {
            ++*count;
            return painter->png(tile).toStdString();
        },
        TileService::Options());
}

void TestTileService::everyZoomGivesATile_data()
{
    QTest::addColumn<int>("zoom");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("row");
    for (int zoom = TileIndex::MinZoom; zoom <= TileIndex::MaxZoom; ++zoom) {
        const int last = (1 << zoom) - 1;
        // The tile under the application's default map centre, and the world's two corners.
        const int column = static_cast<int>(longitudeToTileX(30.306141, zoom));
        const int row = static_cast<int>(latitudeToTileY(59.944069, zoom));
        QTest::addRow("z%d at the default centre", zoom) << zoom << column << row;
        QTest::addRow("z%d north-west corner", zoom) << zoom << 0 << 0;
        QTest::addRow("z%d south-east corner", zoom) << zoom << last << last;
    }
}

void TestTileService::everyZoomGivesATile()
{
    QFETCH(int, zoom);
    QFETCH(int, column);
    QFETCH(int, row);
    const Fetched tile
        = fetch(tileUrl(QStringLiteral("/%1/%2/%3.png").arg(zoom).arg(column).arg(row)));
    QCOMPARE(tile.status, 200);
    QCOMPARE(tile.headers.value("content-type"), QByteArray("image/png"));

    QImage image;
    QVERIFY(image.loadFromData(tile.body, "PNG"));
    QCOMPARE(image.size(), QSize(256, 256));
    QSet<QRgb> colours;
    for (int y = 0; y < 256; y += 2) {
        for (int x = 0; x < 256; x += 2)
            colours.insert(image.pixel(x, y));
    }
    QVERIFY2(colours.size() > 2, "the tile is blank"); // background, lines and labels at least

    // The application's disk cache keeps a tile only with a lifetime it can read.
    const QByteArray cacheControl = tile.headers.value("cache-control");
    QVERIFY2(cacheControl.contains("public") && cacheControl.contains("max-age="), cacheControl);
    QVERIFY(cacheControl.mid(cacheControl.indexOf("max-age=") + 8).toInt() >= 24 * 3600);
    const QDateTime expires = QDateTime::fromString(
        QString::fromLatin1(tile.headers.value("expires")), Qt::RFC2822Date);
    QVERIFY2(expires.isValid(), tile.headers.value("expires"));
    QVERIFY(expires > QDateTime::currentDateTimeUtc().addDays(1));
}

void TestTileService::badPathsAreNotFound_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("zoom below 3") << "/2/1/1.png";
    QTest::newRow("zoom above 17") << "/18/0/0.png";
    QTest::newRow("column past the world") << "/3/8/0.png";
    QTest::newRow("row past the world") << "/3/0/8.png";
    QTest::newRow("huge column") << "/13/99999999999/0.png";
    QTest::newRow("negative column") << "/3/-1/0.png";
    QTest::newRow("signed row") << "/3/1/+1.png";
    QTest::newRow("not a number") << "/3/a/1.png";
    QTest::newRow("other extension") << "/13/4788/2380.jpg";
    QTest::newRow("two numbers") << "/13/4788.png";
    QTest::newRow("four numbers") << "/13/4788/2380/1.png";
    QTest::newRow("empty part") << "/13//2380.png";
    QTest::newRow("root") << "/";
    QTest::newRow("favicon") << "/favicon.ico";
}

void TestTileService::badPathsAreNotFound()
{
    QFETCH(QString, path);
    QCOMPARE(fetch(tileUrl(path)).status, 404);
}

void TestTileService::repeatedTilesComeFromTheCache()
{
    const QUrl url = tileUrl(QStringLiteral("/14/9576/4762.png"));
    const int before = *rendered;
    const Fetched first = fetch(url);
    const Fetched second = fetch(url);
    QCOMPARE(first.status, 200);
    QCOMPARE(second.body, first.body);
    QCOMPARE(*rendered, before + 1);
    QVERIFY(service->cache().count() >= 1);

    // Each tile carries its own index, so neighbours never share bytes.
    const Fetched neighbour = fetch(tileUrl(QStringLiteral("/14/9577/4762.png")));
    QCOMPARE(neighbour.status, 200);
    QVERIFY(neighbour.body != first.body);
}

QTEST_MAIN(TestTileService)
#include "tst_tileservice.moc"
