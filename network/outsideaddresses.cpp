#include "outsideaddresses.h"

#include "outsideaddressdefaults.h"

namespace Pinrova::Network {

namespace {

struct Entry
{
    const char *variable;
    const char *compiledDefault;
    bool isBaseUrl;
};

Entry entry(OutsideAddress address)
{
    switch (address) {
    case OutsideAddress::TileServer:
        return {"PINROVA_TILE_SERVER", PINROVA_DEFAULT_TILE_SERVER, true};
    case OutsideAddress::PositionService:
        return {"PINROVA_POSITION_SERVICE", PINROVA_DEFAULT_POSITION_SERVICE, true};
    case OutsideAddress::FacebookWeb:
        return {"PINROVA_FACEBOOK_WEB", PINROVA_DEFAULT_FACEBOOK_WEB, true};
    case OutsideAddress::FacebookGraph:
        return {"PINROVA_FACEBOOK_GRAPH", PINROVA_DEFAULT_FACEBOOK_GRAPH, true};
    case OutsideAddress::FacebookClientId:
        return {"PINROVA_FACEBOOK_CLIENT_ID", PINROVA_DEFAULT_FACEBOOK_CLIENT_ID, false};
    case OutsideAddress::RedirectHost:
        return {"PINROVA_REDIRECT_HOST", PINROVA_DEFAULT_REDIRECT_HOST, false};
    case OutsideAddress::WebSite:
        return {"PINROVA_WEB_SITE", PINROVA_DEFAULT_WEB_SITE, true};
    case OutsideAddress::VkHost:
        return {"PINROVA_VK_HOST", PINROVA_DEFAULT_VK_HOST, true};
    case OutsideAddress::VkProfile:
        return {"PINROVA_VK_PROFILE", PINROVA_DEFAULT_VK_PROFILE, true};
    case OutsideAddress::VkAppId:
        return {"PINROVA_VK_APP_ID", PINROVA_DEFAULT_VK_APP_ID, false};
    }
    Q_UNREACHABLE();
    return {"", "", false};
}

QString normalised(QString value, bool isBaseUrl)
{
    value = value.trimmed();
    if (isBaseUrl) {
        while (value.endsWith(QLatin1Char('/')))
            value.chop(1);
    }
    return value;
}

} // namespace

const char *outsideAddressVariable(OutsideAddress address)
{
    return entry(address).variable;
}

QString outsideAddressDefault(OutsideAddress address)
{
    const Entry e = entry(address);
    return normalised(QString::fromUtf8(e.compiledDefault), e.isBaseUrl);
}

QString outsideAddress(OutsideAddress address)
{
    const Entry e = entry(address);
    const QString fromEnvironment = normalised(qEnvironmentVariable(e.variable), e.isBaseUrl);
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return normalised(QString::fromUtf8(e.compiledDefault), e.isBaseUrl);
}

} // namespace Pinrova::Network
