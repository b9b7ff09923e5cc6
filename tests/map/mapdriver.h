#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QtTest>

#include <cmath>
#include <memory>

#include "mapwidget.h"
#include "projection.h"
#include "qpointhash.h"
#include "slippymap.h"

// A real MapWidget on screen and the gestures a user makes on it, for the map's fault tests.
namespace Pinrova::Testing {

// An 800 x 480 map at the default centre and zoom, shown; timeoutMs 0 keeps the engine's own.
inline std::unique_ptr<Map::MapWidget> showMap(int timeoutMs = 0)
{
    auto map = std::make_unique<Map::MapWidget>();
    if (timeoutMs > 0)
        map->engine()->setTileTimeout(timeoutMs);
    map->resize(800, 480);
    map->show();
    if (!QTest::qWaitForWindowExposed(map.get()))
        return nullptr;
    return map;
}

// The tile under the view's centre.
inline QPoint centreTile(const Map::SlippyMap &engine)
{
    const QPointF tile
        = Map::coordinateToTile(engine.latitude(), engine.longitude(), engine.zoomLevel());
    return QPoint(static_cast<int>(std::floor(tile.x())), static_cast<int>(std::floor(tile.y())));
}

// The tile under the centre of a map that has not moved yet.
inline QPoint defaultCentreTile()
{
    const Map::SlippyMap engine;
    return centreTile(engine);
}

inline QString tilePath(int zoom, const QPoint &tile)
{
    return QStringLiteral("/%1/%2/%3.png").arg(zoom).arg(tile.x()).arg(tile.y());
}

// The tiles that meet the widget, by reduced index.
inline QList<QPoint> tilesOnScreen(const Map::MapWidget &map)
{
    const Map::SlippyMap *engine = map.engine();
    const QRect range = engine->visibleTiles();
    const int n = 1 << engine->zoomLevel();
    QList<QPoint> tiles;
    for (int c = range.left(); c <= range.right() + 1; ++c) {
        for (int r = range.top(); r <= range.bottom() + 1; ++r) {
            if (engine->tileScreenRect(QPoint(c, r)).intersects(map.rect()))
                tiles << QPoint(Map::reduceTileIndex(c, n), Map::reduceTileIndex(r, n));
        }
    }
    return tiles;
}

// The colour the widget shows in the middle of a tile's part on screen, through a full repaint.
inline QColor shownColour(Map::MapWidget &map, const QPoint &tile)
{
    const QImage image = map.grab().toImage();
    return image.pixelColor((map.engine()->tileScreenRect(tile) & map.rect()).center());
}

// A left-button drag that moves the map by delta, in two moves as a pointer makes them: the
// first leaves the tap square (delta must exceed twice TapThreshold on one axis) and only ends
// the tap, the second pans by everything since the press.
inline void dragMap(QWidget *map, const QPoint &delta)
{
    const QPoint from = map->rect().center();
    const auto send = [map](QEvent::Type type, const QPoint &at, Qt::MouseButtons held) {
        QMouseEvent event(type, at, map->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(map, &event);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton);
    send(QEvent::MouseMove, from + delta / 2, Qt::LeftButton);
    send(QEvent::MouseMove, from + delta, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, from + delta, Qt::NoButton);
}

// Pans the map the ways a user does, a step at a time (arrow keys and drags in turn, coming
// back to where it started every four steps), repainting it whole after each. False, with the
// reason, when a step leaves the centre where it was or the repaint gives no picture.
inline bool panAndRepaint(Map::MapWidget &map, int steps, QString *why)
{
    const Qt::Key keys[] = {Qt::Key_Right, Qt::Key_Left};
    const QPoint drags[] = {QPoint(0, 40), QPoint(0, -40)};
    for (int step = 0; step < steps; ++step) {
        const QPointF before(map.engine()->latitude(), map.engine()->longitude());
        if (step % 2 == 0)
            QTest::keyClick(&map, keys[(step / 2) % 2]);
        else
            dragMap(&map, drags[(step / 2) % 2]);
        const QPointF after(map.engine()->latitude(), map.engine()->longitude());
        if (after == before) {
            *why = QStringLiteral("step %1 did not move the map").arg(step);
            return false;
        }
        const QImage picture = map.grab().toImage();
        if (picture.isNull() || picture.size() != map.size()) {
            *why = QStringLiteral("step %1 gave no picture").arg(step);
            return false;
        }
    }
    return true;
}

} // namespace Pinrova::Testing
