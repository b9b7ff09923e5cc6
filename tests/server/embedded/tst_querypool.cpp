#include "embedded/querypool.h"

#include <QtTest>

#include <atomic>
#include <future>
#include <thread>

using namespace Pinrova::Server;

class TestQueryPool : public QObject
{
    Q_OBJECT

private slots:
    void stopAnswersQueuedJobsWithoutRunningThem();
};

// A stop lets the job running finish, and gives the queued ones their dropped call at once:
// building lists nobody will receive would only make the stop late.
void TestQueryPool::stopAnswersQueuedJobsWithoutRunningThem()
{
    QueryPool pool(1, SIZE_MAX, 0);
    std::promise<void> release;
    std::promise<void> start;
    auto released = release.get_future().share();
    std::atomic<int> ran {0};
    std::atomic<int> dropped {0};
    QVERIFY(pool.post([&ran, &start, released] {
        start.set_value();
        released.wait();
        ++ran;
    }));
    start.get_future().wait();
    for (int i = 0; i < 3; ++i)
        QVERIFY(pool.post([&ran] { ++ran; }, [&dropped] { ++dropped; }));

    std::thread stopper([&pool] { pool.stop(); });
    // With no bound on the queue, a post is refused only once the stop has taken it.
    while (pool.post([] {}))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    release.set_value();
    stopper.join();
    QCOMPARE(ran.load(), 1);
    QCOMPARE(dropped.load(), 3);
}

QTEST_APPLESS_MAIN(TestQueryPool)
#include "tst_querypool.moc"
