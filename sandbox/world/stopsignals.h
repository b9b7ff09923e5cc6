#pragma once

#include <QObject>

class QSocketNotifier;

namespace Pinrova::Sandbox {

// Turns SIGINT and SIGTERM into the signal stopRequested() on the GUI thread (through a socket
// pair, the one thing a signal handler may safely touch), so the program ends its event loop
// and cleans up instead of dying mid-way. One instance per process.
class StopSignals : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(StopSignals)

public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

signals:
    void stopRequested();

private:
    void readSignal();

    QSocketNotifier *notifier = nullptr;
};

} // namespace Pinrova::Sandbox
