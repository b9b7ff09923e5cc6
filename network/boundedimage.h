#pragma once

#include <QImage>

class QIODevice;

namespace Pinrova::Network {

// Decodes a picture from outside, refusing one whose header announces more than maxEdge pixels
// on either side: a few bytes of PNG can ask for gigabytes once decoded. A refused, empty or
// undecodable picture gives a null image. Reads the device to its end, so it is meant for a
// body whose size the caller has already bounded (a finished reply with a body limit).
QImage readBoundedImage(QIODevice *device, int maxEdge);

} // namespace Pinrova::Network
