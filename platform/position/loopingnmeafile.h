#pragma once

#include <QByteArray>
#include <QFile>
#include <QIODevice>

namespace Pinrova::Platform {

// An NMEA log read over and over as one endless stream. Qt's simulated NMEA source paces
// fixes by the time of day in each sentence and skips any that go back in time, so each later
// pass has its times moved to follow on from the pass before: its first fix comes one
// interval (the last one seen) after the previous pass's last. The file is opened again for
// every pass, so a log replaced meanwhile is picked up.
class LoopingNmeaFile : public QIODevice
{
    Q_OBJECT
    Q_DISABLE_COPY(LoopingNmeaFile)

public:
    explicit LoopingNmeaFile(const QString &fileName, QObject *parent = nullptr);

    // Read-only; fails when the file cannot be read.
    bool open(OpenMode mode) override;
    void close() override;
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    void readAhead();
    QByteArray moved(const QByteArray &line);
    bool startNextPass();

    QFile m_file;
    QByteArray m_pending; // the next line, already moved in time
    bool m_ended = false;
    bool m_passIsEmpty = true;

    // Milliseconds added to this pass's times; found at its first timed sentence.
    qint64 m_shift = 0;
    bool m_shiftKnown = false;
    // The last time handed out and the step before it, in milliseconds since midnight.
    qint64 m_lastTime = -1;
    qint64 m_lastStep = 0;
};

} // namespace Pinrova::Platform
