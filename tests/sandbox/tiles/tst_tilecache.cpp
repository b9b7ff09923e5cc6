#include "tilecache.h"

#include <QtTest>

using Pinrova::Sandbox::TileCache;

class TestTileCache : public QObject
{
    Q_OBJECT

private slots:
    void staysWithinItsBound();
    void dropsTheLeastRecentlyUsed();
    void replacingAnEntryCountsItOnce();
    void refusesWhatCanNeverFit();
};

namespace {
std::string bytes(std::size_t n)
{
    return std::string(n, 'x');
}
} // namespace

void TestTileCache::staysWithinItsBound()
{
    TileCache cache(1000);
    for (std::uint64_t key = 0; key < 100; ++key) {
        cache.insert(key, bytes(90 + key % 20));
        QVERIFY(cache.bytes() <= 1000);
    }
    QVERIFY(cache.count() >= 8);
    QVERIFY(cache.find(99));
    QVERIFY(!cache.find(0));
}

void TestTileCache::dropsTheLeastRecentlyUsed()
{
    TileCache cache(300);
    cache.insert(1, bytes(100));
    cache.insert(2, bytes(100));
    cache.insert(3, bytes(100));
    QVERIFY(cache.find(1)); // 1 is now the most recent, 2 the least
    cache.insert(4, bytes(100));
    QVERIFY(cache.find(1));
    QVERIFY(!cache.find(2));
    QVERIFY(cache.find(3));
    QVERIFY(cache.find(4));
    QCOMPARE(cache.bytes(), std::size_t(300));
}

void TestTileCache::replacingAnEntryCountsItOnce()
{
    TileCache cache(300);
    cache.insert(1, bytes(100));
    cache.insert(1, bytes(150));
    QCOMPARE(cache.count(), std::size_t(1));
    QCOMPARE(cache.bytes(), std::size_t(150));
    QCOMPARE(cache.find(1)->size(), std::size_t(150));
}

void TestTileCache::refusesWhatCanNeverFit()
{
    TileCache cache(300);
    cache.insert(1, bytes(100));
    cache.insert(2, bytes(301));
    QVERIFY(!cache.find(2));
    QVERIFY(cache.find(1)); // and nothing was evicted for it
}

QTEST_APPLESS_MAIN(TestTileCache)
#include "tst_tilecache.moc"
