#include "mceservice.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include "displaystate.h"
#include "mcenames.h"
#include "mcerequestobject.h"

namespace Pinrova::Platform {

MceService::MceService(const QDBusConnection &bus, DisplayState *state, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
    , m_request(new MceRequestObject(state, this))
{
    connect(state, &DisplayState::changed, this, &MceService::announce);
}

MceService::~MceService()
{
    if (m_ownsName)
        m_bus.unregisterService(Mce::service);
    m_bus.unregisterObject(Mce::requestPath);
}

bool MceService::start(QString *error)
{
    if (!m_bus.isConnected()) {
        *error = QStringLiteral("cannot connect to the bus: %1").arg(m_bus.lastError().message());
        return false;
    }
    if (!m_bus.registerObject(
            Mce::requestPath, m_request, QDBusConnection::ExportScriptableSlots)) {
        *error = QStringLiteral("cannot register %1").arg(Mce::requestPath);
        return false;
    }
    QDBusConnectionInterface *bus = m_bus.interface();
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply
        = bus->registerService(Mce::service, QDBusConnectionInterface::DontQueueService,
            QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid()) {
        *error = QStringLiteral("cannot own %1: %2").arg(Mce::service, reply.error().message());
        return false;
    }
    if (reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        *error = QStringLiteral("%1 is already owned by another process (%2)")
                     .arg(Mce::service, bus->serviceOwner(Mce::service).value());
        return false;
    }
    m_ownsName = true;
    return true;
}

void MceService::announce(const QString &state)
{
    QDBusMessage signal
        = QDBusMessage::createSignal(Mce::signalPath, Mce::signalInterface, Mce::displayStatusInd);
    signal << state;
    m_bus.send(signal);
}

} // namespace Pinrova::Platform
