#include "boundedimage.h"

#include <QImageReader>

namespace Pinrova::Network {

QImage readBoundedImage(QIODevice *device, int maxEdge)
{
    QImageReader reader(device);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > maxEdge || size.height() > maxEdge)
        return QImage();
    return reader.read();
}

} // namespace Pinrova::Network
