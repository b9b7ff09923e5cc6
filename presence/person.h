#pragma once

#include <QDate>
#include <QString>
#include <QUrl>

#include <array>

#include "gender.h"
#include "networktype.h"

// One social-network user, as a connector delivers it, as the position service lists it and as
// the details dialog shows it. A plain value: copies are cheap because the strings and URLs are
// implicitly shared. It only travels over direct connections, so it is not a registered
// meta-type.
struct Person
{
    QUrl smallPicture;
    QUrl mediumPicture;
    QString name; // the full name as one string
    QString firstName; // filled by the connectors only; never sent to the position service
    QString lastName; // as firstName
    Gender gender = UnknownGender;
    QDate birthDate; // null when not given; never sent to the position service
    NetworkType networkType = UnknownNetwork; // the home network
    // The person's identifier on each network, indexed by NetworkType; every value that
    // networkTypeFromString can give indexes it.
    std::array<QString, NetworkTypeCount> userIds;
};
