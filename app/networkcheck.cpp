#include "networkcheck.h"

#include <QHostAddress>
#include <QString>
#include <QUrl>
#include <QtGlobal>

#include "outsideaddresses.h"

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

bool isLoopbackAddress(const QString &baseUrl)
{
    const QUrl url(baseUrl);
    const QString host = url.host();
    if (!url.isValid() || host.isEmpty())
        return false;
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

bool everyServerIsLocal()
{
    using Pinrova::Network::OutsideAddress;
    for (const OutsideAddress server : {OutsideAddress::TileServer, OutsideAddress::PositionService,
             OutsideAddress::FacebookWeb, OutsideAddress::FacebookGraph, OutsideAddress::VkHost}) {
        if (!isLoopbackAddress(Pinrova::Network::outsideAddress(server)))
            return false;
    }
    return true;
}

bool networkUsable()
{
    return defaultNetworkConfigurationUsable() || everyServerIsLocal();
}
