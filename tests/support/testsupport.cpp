#include "testsupport.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QStandardPaths>

#include "httpserver.h"

namespace Pinrova::Testing {

QByteArray pngBytes(const QColor &color, int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QString baseUrl(const HttpServer &server)
{
    return QString::fromStdString(server.baseUrl());
}

std::string toStd(const QByteArray &bytes)
{
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void useCleanTestPaths()
{
    QStandardPaths::setTestModeEnabled(true);
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (!cache.isEmpty())
        QDir(cache).removeRecursively();
}

} // namespace Pinrova::Testing
