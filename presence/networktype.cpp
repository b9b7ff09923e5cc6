#include "networktype.h"

#include <QObject>
#include <QString>

QString networkTypeToDisplayName(NetworkType type)
{
    switch (type) {
    case Facebook:
        return QObject::tr("facebook");
    case Vkontakte:
        return QObject::tr("vk");
    case Twitter:
        return QObject::tr("twitter");
    default:
        return QString();
    }
}

QString networkTypeToIcon(NetworkType type)
{
    switch (type) {
    case Facebook:
        return QStringLiteral(":/Icons/Social/facebook.png");
    case Vkontakte:
        return QStringLiteral(":/Icons/Social/vk.png");
    case Twitter:
        return QStringLiteral(":/Icons/Social/twitter.png");
    default:
        return QString();
    }
}

QString networkTypeToString(NetworkType type)
{
    switch (type) {
    case Facebook:
        return QStringLiteral("facebook");
    case Vkontakte:
        return QStringLiteral("vkontakte");
    case Twitter:
        return QStringLiteral("twitter");
    default:
        return QString();
    }
}

NetworkType networkTypeFromString(const QString &text)
{
    // The order is the enumeration's, so the position in the list is the value.
    static const char *const names[]
        = {"facebook", "vkontakte", "twitter", "mailRu", "ondoklassniki"};
    for (int value = 0; value < int(sizeof(names) / sizeof(names[0])); ++value) {
        if (text.compare(QLatin1String(names[value]), Qt::CaseInsensitive) == 0)
            return static_cast<NetworkType>(value);
    }
    return UnknownNetwork;
}
