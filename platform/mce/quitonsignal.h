#pragma once

#include <QObject>

class QSocketNotifier;

namespace Pinrova::Platform {

// Turns SIGTERM and SIGINT into QCoreApplication::quit(), so the service leaves the bus
// through its destructors instead of dying mid-message.
class QuitOnSignal : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(QuitOnSignal)

public:
    // Blocks both signals for the calling thread and every thread started after it, so call
    // it first in main(), before Qt starts the D-Bus thread.
    static bool blockSignals();

    explicit QuitOnSignal(QObject *parent = nullptr);
    ~QuitOnSignal() override;

    bool isValid() const { return m_fd >= 0; }

private:
    void readSignal();

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace Pinrova::Platform
