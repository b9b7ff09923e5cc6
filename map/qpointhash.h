#pragma once

#include <QHashFunctions>
#include <QPoint>

// Qt 5 has no hash for QPoint; tile caches key their tiles by (column, row).
inline uint qHash(const QPoint &tile, uint seed = 0) noexcept
{
    return static_cast<uint>((tile.x() * 17) ^ tile.y()) ^ seed;
}
