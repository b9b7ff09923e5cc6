#include "displaystate.h"

#include <QStringList>

namespace Pinrova::Platform {

DisplayState::DisplayState(const QString &initial, QObject *parent)
    : QObject(parent)
    , m_current(isValid(initial) ? initial : QStringLiteral("on"))
{ }

bool DisplayState::isValid(const QString &state)
{
    static const QStringList states {
        QStringLiteral("on"), QStringLiteral("off"), QStringLiteral("dimmed")};
    return states.contains(state);
}

bool DisplayState::set(const QString &state)
{
    if (!isValid(state))
        return false;
    if (state != m_current) {
        m_current = state;
        emit changed(m_current);
    }
    return true;
}

} // namespace Pinrova::Platform
