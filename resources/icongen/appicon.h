#pragma once

#include <QVector>

class QImage;

namespace Pinrova::Resources {

// The sizes of the application's icon in the desktop's hicolor theme.
QVector<int> appIconSizes();

// The application's icon, a pin with a person on a map tile, drawn for a size × size square.
QImage paintAppIcon(int size);

} // namespace Pinrova::Resources
