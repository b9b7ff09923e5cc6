#pragma once

#include <QtGlobal>

class QString;

// The social network a person's record comes from. The values index Person::userIds and are
// fixed; UnknownNetwork is the last slot.
enum NetworkType : qint32 {
    Facebook = 0,
    Vkontakte = 1,
    Twitter = 2,
    MailRu = 3,
    Odnoklassniki = 4,
    UnknownNetwork = 5,
};

constexpr int NetworkTypeCount = UnknownNetwork + 1;

// The translated name shown to the user (context "QObject"): "facebook", "vk", "twitter"; a
// null string for the other values.
QString networkTypeToDisplayName(NetworkType type);

// The resource path of the network's icon, or a null string when it has none.
QString networkTypeToIcon(NetworkType type);

// The name the position service uses: "facebook", "vkontakte", "twitter"; a null string for
// the networks we never report.
QString networkTypeToString(NetworkType type);

// Reads a service name regardless of case; unknown names (the display name "vk" among them)
// give UnknownNetwork. "ondoklassniki" is the service's own spelling.
NetworkType networkTypeFromString(const QString &text);
