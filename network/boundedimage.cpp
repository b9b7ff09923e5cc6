#include "boundedimage.h"

#include <QBuffer>
#include <QImageReader>

namespace Pinrova::Network {

QImage readBoundedImage(QIODevice *device, int maxEdge)
{
    // A network reply cannot seek, and some handlers (GIF's) seek to read the size, which then
    // fails; so the body, already bounded by the caller, is decoded from memory.
    QByteArray bytes = device->readAll();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > maxEdge || size.height() > maxEdge)
        return QImage();
    return reader.read();
}

} // namespace Pinrova::Network
