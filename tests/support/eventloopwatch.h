#pragma once

#include <QElapsedTimer>
#include <QTimer>

namespace Pinrova::Testing {

// A timer ticking on the event loop of the thread that made it, recording the longest gap
// between two ticks: a loop that something blocks shows as a gap far beyond the interval.
class EventLoopWatch
{
public:
    explicit EventLoopWatch(int intervalMs = 10)
    {
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] { tick(); });
        clock.start();
        timer.start(intervalMs);
    }

    int ticks() const { return count; }
    // Includes the time since the last tick, so a loop blocked right now counts too.
    qint64 longestGapMs() const { return qMax(longest, clock.elapsed() - lastTick); }

private:
    void tick()
    {
        const qint64 now = clock.elapsed();
        longest = qMax(longest, now - lastTick);
        lastTick = now;
        ++count;
    }

    QTimer timer;
    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 longest = 0;
    int count = 0;
};

} // namespace Pinrova::Testing
