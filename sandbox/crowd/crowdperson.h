#pragma once

#include <QColor>
#include <QString>

#include "gender.h"
#include "networktype.h"

namespace Pinrova::Sandbox {

// One demo person of the crowd: who they are on their network and on the position service.
struct CrowdPerson
{
    QString uid; // braced UUID, the "installation" the person reports from
    NetworkType network = Facebook;
    QString id; // their identifier on that network
    QString firstName;
    QString lastName;
    Gender gender = UnknownGender;
    QColor color; // of their avatar's disc
    QString smallPicture; // addresses of their avatar, filled in once the server is known
    QString mediumPicture;
    // Register's Authorization value ("Facebook <token>" or "VKontakte <session>"), filled in
    // once the network's stand-in has issued it. Never logged.
    QByteArray credential;

    QString name() const { return firstName + QLatin1Char(' ') + lastName; }
    QString initials() const { return firstName.left(1) + lastName.left(1); }
};

} // namespace Pinrova::Sandbox
