#include "testsupport.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QNetworkDiskCache>
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

QList<QByteArray> diskCacheEntries()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    QNetworkDiskCache cache;
    cache.setCacheDirectory(folder);
    QList<QByteArray> entries;
    for (QDirIterator it(
             folder, {QStringLiteral("*.d")}, QDir::Files, QDirIterator::Subdirectories);
         it.hasNext();) {
        const QString file = it.next();
        const QNetworkCacheMetaData meta = cache.fileMetaData(file);
        QByteArray entry = meta.url().toEncoded() + '\n';
        for (const QNetworkCacheMetaData::RawHeader &header : meta.rawHeaders())
            entry += header.first + ": " + header.second + '\n';
        if (QIODevice *body = cache.data(meta.url())) {
            entry += body->readAll();
            delete body;
        }
        QFile raw(file);
        if (raw.open(QIODevice::ReadOnly))
            entry += '\n' + raw.readAll();
        entries << entry;
    }
    return entries;
}

void useCleanTestPaths()
{
    QStandardPaths::setTestModeEnabled(true);
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (!cache.isEmpty())
        QDir(cache).removeRecursively();
}

} // namespace Pinrova::Testing
