#pragma once

#include <QColor>
#include <QRegularExpression>
#include <QString>

#include "httpserver.h"
#include "testsupport.h"

// A tile server on loopback whose every tile "/z/c/r.png" is a PNG in a colour of its own, so
// painted pixels tell which tile they came from.
namespace Pinrova::Testing {

inline QColor tileColor(int zoom, int column, int row)
{
    return QColor((column * 37 + zoom * 11) % 256, (row * 53 + zoom * 7) % 256,
        (column * 13 + row * 29) % 256);
}

struct TilePath
{
    bool valid = false;
    int zoom = 0;
    int column = 0;
    int row = 0;
};

inline TilePath parseTilePath(const std::string &path)
{
    static const QRegularExpression pattern(QStringLiteral("^/(\\d+)/(\\d+)/(\\d+)\\.png$"));
    const auto match = pattern.match(QString::fromStdString(path));
    if (!match.hasMatch())
        return {};
    return {true, match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt()};
}

inline HttpResponse colouredTile(const HttpRequest &request)
{
    const TilePath tile = parseTilePath(request.path);
    if (!tile.valid)
        return HttpResponse::error(404);
    return HttpResponse::ok(
        toStd(pngBytes(tileColor(tile.zoom, tile.column, tile.row))), "image/png");
}

} // namespace Pinrova::Testing
