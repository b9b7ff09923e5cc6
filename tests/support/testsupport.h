#pragma once

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QString>

#include <string>

#include "httpserver.h"

namespace Pinrova::Testing {

// The loopback HTTP server the tests script is the sandbox's.
using namespace Pinrova::Http;

// PNG bytes of a square picture in one colour, as a tile server would send.
QByteArray pngBytes(const QColor &color, int size = 256);

// The server's base address as the application's configuration expects it.
QString baseUrl(const HttpServer &server);

std::string toStd(const QByteArray &bytes);

// Every entry of the disk cache folder as one block of bytes: its address, its headers and its
// body as Qt gives it back (inflated), then the file's raw bytes; so a test can look for
// what must never reach the disk.
QList<QByteArray> diskCacheEntries();

// Switches QStandardPaths to test mode and empties the cache folder, so a test never reads a
// reply cached by an earlier run and never touches the user's own files.
void useCleanTestPaths();

} // namespace Pinrova::Testing
