#include "loopingnmeafile.h"

#include <algorithm>

#include "nmeasentence.h"

namespace Pinrova::Platform {

namespace {

constexpr qint64 msecsPerDay = 24 * 60 * 60 * 1000;
// The step between passes when the log holds a single time.
constexpr qint64 defaultStep = 1000;

} // namespace

LoopingNmeaFile::LoopingNmeaFile(const QString &fileName, QObject *parent)
    : QIODevice(parent)
    , m_file(fileName)
{ }

bool LoopingNmeaFile::open(OpenMode mode)
{
    if ((mode & ReadWrite) != ReadOnly || !m_file.open(QIODevice::ReadOnly))
        return false;
    m_pending.clear();
    m_ended = false;
    m_passIsEmpty = true;
    m_shift = 0;
    m_shiftKnown = false;
    m_lastTime = -1;
    m_lastStep = 0;
    QIODevice::open(mode);
    readAhead();
    return true;
}

void LoopingNmeaFile::close()
{
    m_file.close();
    m_pending.clear();
    QIODevice::close();
}

qint64 LoopingNmeaFile::bytesAvailable() const
{
    return m_pending.size() + QIODevice::bytesAvailable();
}

qint64 LoopingNmeaFile::readData(char *data, qint64 maxSize)
{
    if (m_pending.isEmpty())
        return m_ended ? -1 : 0;
    const qint64 size = qMin<qint64>(maxSize, m_pending.size());
    std::copy_n(m_pending.constData(), size, data);
    m_pending.remove(0, static_cast<int>(size));
    if (m_pending.isEmpty())
        readAhead();
    return size;
}

qint64 LoopingNmeaFile::writeData(const char *, qint64)
{
    return -1;
}

void LoopingNmeaFile::readAhead()
{
    while (m_pending.isEmpty() && !m_ended) {
        if (m_file.atEnd() && !startNextPass()) {
            m_ended = true;
            break;
        }
        const QByteArray line = m_file.readLine();
        m_passIsEmpty = m_passIsEmpty && line.isEmpty();
        m_pending = moved(line);
    }
}

QByteArray LoopingNmeaFile::moved(const QByteArray &line)
{
    const QTime time = Nmea::sentenceTime(line);
    if (!time.isValid())
        return line;
    const qint64 original = time.msecsSinceStartOfDay();
    if (!m_shiftKnown) {
        m_shift = m_lastTime < 0
            ? 0
            : m_lastTime + (m_lastStep > 0 ? m_lastStep : defaultStep) - original;
        m_shiftKnown = true;
    }
    const qint64 now = original + m_shift;
    // The source compares times of day only: a time past midnight would look like a jump
    // back and stall it for good, so the replay ends there instead.
    if (now >= msecsPerDay) {
        m_ended = true;
        return {};
    }
    if (m_lastTime >= 0 && now > m_lastTime)
        m_lastStep = now - m_lastTime;
    m_lastTime = qMax(m_lastTime, now);
    return m_shift == 0 ? line : Nmea::shiftedSentence(line, m_shift);
}

bool LoopingNmeaFile::startNextPass()
{
    // Without a timed sentence there is nothing to pace a replay by; a file emptied since the
    // last pass ends it too.
    if (m_lastTime < 0 || m_passIsEmpty)
        return false;
    m_file.close();
    if (!m_file.open(QIODevice::ReadOnly))
        return false;
    m_shiftKnown = false;
    m_passIsEmpty = true;
    return true;
}

} // namespace Pinrova::Platform
