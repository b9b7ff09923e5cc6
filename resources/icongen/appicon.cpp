#include "appicon.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace Pinrova::Resources {

QVector<int> appIconSizes()
{
    return {16, 22, 24, 32, 48, 64, 128, 256};
}

QImage paintAppIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 256-unit grid, so every size is the same picture.
    painter.scale(size / 256.0, size / 256.0);

    QPainterPath tile;
    tile.addRoundedRect(QRectF(12, 12, 232, 232), 44, 44);
    QLinearGradient land(0, 12, 0, 244);
    land.setColorAt(0, QColor(236, 242, 228));
    land.setColorAt(1, QColor(208, 222, 200));
    painter.fillPath(tile, land);

    // Streets only where they stay lines; at menu sizes they would blur the pin.
    if (size >= 32) {
        painter.save();
        painter.setClipPath(tile);
        painter.setPen(QPen(QColor(255, 255, 255), 14, Qt::SolidLine, Qt::FlatCap));
        painter.drawLine(QPointF(12, 176), QPointF(244, 120));
        painter.drawLine(QPointF(70, 12), QPointF(106, 244));
        painter.setPen(QPen(QColor(255, 255, 255, 200), 8, Qt::SolidLine, Qt::FlatCap));
        painter.drawLine(QPointF(176, 12), QPointF(210, 244));
        painter.restore();
    }
    painter.setPen(QPen(QColor(0, 0, 0, 60), 3));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(tile);

    // The pin: a disc drawn out to a point, as the map's markers are.
    QPainterPath pin;
    pin.moveTo(128, 226);
    pin.cubicTo(112, 190, 62, 160, 62, 106);
    pin.arcTo(QRectF(62, 40, 132, 132), 180, -180);
    pin.cubicTo(194, 160, 144, 190, 128, 226);
    pin.closeSubpath();
    QLinearGradient green(0, 40, 0, 226);
    green.setColorAt(0, QColor(46, 184, 92).lighter(120));
    green.setColorAt(1, QColor(46, 184, 92).darker(125));
    painter.setPen(QPen(Qt::white, 8));
    painter.setBrush(green);
    painter.drawPath(pin);

    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QPointF(128, 86), 22, 22);
    QPainterPath shoulders;
    shoulders.moveTo(84, 150);
    shoulders.cubicTo(84, 118, 104, 112, 128, 112);
    shoulders.cubicTo(152, 112, 172, 118, 172, 150);
    shoulders.closeSubpath();
    painter.drawPath(shoulders);
    return image;
}

} // namespace Pinrova::Resources
