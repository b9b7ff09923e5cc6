#pragma once

#include <QDBusConnection>
#include <QObject>

namespace Pinrova::Platform {

class DisplayState;
class MceRequestObject;

// Puts the mode-control service on one bus: the request object, the state signal and the
// well-known name. The state is not owned.
class MceService : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(MceService)

public:
    MceService(const QDBusConnection &bus, DisplayState *state, QObject *parent = nullptr);
    ~MceService() override;

    // Registers the object and claims the name without queueing, so a second instance
    // fails instead of waiting behind the first. On failure *error says why.
    bool start(QString *error);

private:
    void announce(const QString &state);

    QDBusConnection m_bus;
    MceRequestObject *m_request;
    bool m_ownsName = false;
};

} // namespace Pinrova::Platform
