#include "networkcheck.h"

#include <QtGlobal>

// Qt's bearer classes are deprecated in 5.15 but are the session API this program is built on.
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
#include <QNetworkConfiguration>
#include <QNetworkConfigurationManager>

bool networkConfigurationUsable(
    bool canStartAndStopInterfaces, bool defaultValid, bool defaultActive)
{
    if (!defaultValid)
        return false;
    return canStartAndStopInterfaces || defaultActive;
}

bool defaultNetworkConfigurationUsable()
{
    const QNetworkConfigurationManager manager;
    const QNetworkConfiguration configuration = manager.defaultConfiguration();
    return networkConfigurationUsable(
        manager.capabilities().testFlag(QNetworkConfigurationManager::CanStartAndStopInterfaces),
        configuration.isValid(), configuration.state() == QNetworkConfiguration::Active);
}

QT_WARNING_POP
