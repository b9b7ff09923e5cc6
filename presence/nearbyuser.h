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

// The people of one cell of the view whom the service counts but does not list. A plain value.
struct NearByCrowd
{
    qreal lat = 0; // a point inside the cell
    qreal lon = 0;
    int count = 0; // at least 1
};

} // namespace Pinrova::Social
