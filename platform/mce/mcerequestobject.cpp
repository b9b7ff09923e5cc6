#include "mcerequestobject.h"

#include <QDBusError>

#include "displaystate.h"

namespace Pinrova::Platform {

MceRequestObject::MceRequestObject(DisplayState *state, QObject *parent)
    : QObject(parent)
    , m_state(state)
{ }

QString MceRequestObject::get_display_status() const
{
    return m_state->current();
}

void MceRequestObject::set_display_status(const QString &state)
{
    if (!m_state->set(state))
        sendErrorReply(QDBusError::InvalidArgs,
            QStringLiteral("unknown display state \"%1\": use on, off or dimmed").arg(state));
}

} // namespace Pinrova::Platform
