#pragma once

#include <QByteArray>
#include <QDirIterator>
#include <QFile>
#include <QStandardPaths>
#include <QStringList>

namespace Pinrova::Testing {

// The files under the app's data and cache folders whose raw bytes hold any of needles, each as
// "file: needle", and every file of a web profile kept there (cookies and history are written
// some time after a page, so their mere presence counts) but for the compiled shaders Chromium
// keeps even for an off-the-record profile. Settings are not scanned: they keep what the user
// chose to keep.
inline QStringList storedFilesHolding(const QList<QByteArray> &needles)
{
    QStringList found;
    for (const auto location : {QStandardPaths::AppDataLocation, QStandardPaths::CacheLocation}) {
        const QString folder = QStandardPaths::writableLocation(location);
        for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
             it.hasNext();) {
            QFile file(it.next());
            if (file.fileName().contains(QStringLiteral("/QtWebEngine/"))
                && !file.fileName().contains(QStringLiteral("/GPUCache/")))
                found << file.fileName() + QStringLiteral(": a web profile's");
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QByteArray bytes = file.readAll();
            for (const QByteArray &needle : needles) {
                if (!needle.isEmpty() && bytes.contains(needle))
                    found << file.fileName() + QStringLiteral(": ") + QString::fromUtf8(needle);
            }
        }
    }
    return found;
}

} // namespace Pinrova::Testing
