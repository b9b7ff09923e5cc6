#pragma once

#include <QImage>

#include "person.h"

namespace Pinrova::Social {

// One person the position service lists near the map's centre. A plain value.
struct NearByUser
{
    Person person;
    QImage picture; // the small avatar; null until its download succeeds
    qreal lat = 0;
    qreal lon = 0;
    bool online = false;
};

} // namespace Pinrova::Social
