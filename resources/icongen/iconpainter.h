#pragma once

#include <QString>
#include <QVector>

class QImage;

namespace Pinrova::Resources {

// One picture of the resource collection: where it goes and how to draw it.
struct IconEntry
{
    QString path; // relative to the collection's root, e.g. "Icons/Map/DotOnline.png"
    QImage (*paint)();
};

// Every picture the application carries, each at its final size and colour type.
QVector<IconEntry> iconEntries();

QImage paintFrameOnline();
QImage paintFrameOffline();
QImage paintDotOnline();
QImage paintDotOffline();
QImage paintPerson();
QImage paintUserPos();
QImage paintZoomIn();
QImage paintZoomOut();
QImage paintFacebook();
QImage paintVk();
QImage paintTwitter();

} // namespace Pinrova::Resources
