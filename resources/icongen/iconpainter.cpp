#include "iconpainter.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QPolygonF>

namespace Pinrova::Resources {

namespace {

const QColor onlineColor(46, 184, 92);
const QColor offlineColor(134, 142, 150);
const QColor outlineColor(0, 0, 0, 150);
const QColor facebookBlue(24, 119, 242);
const QColor vkBlue(0, 119, 255);
const QColor twitterBlue(29, 161, 242);

QImage transparentImage(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

// The picture button sits at (5, 5) in the frame, 50 × 50, so the frame keeps that window clear.
QImage paintFrame(const QColor &color)
{
    QImage image = transparentImage(69, 69);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF outer(1.5, 1.5, 57, 57);
    QPainterPath window;
    window.addRoundedRect(QRectF(5, 5, 50, 50), 2, 2);
    QPainterPath ring;
    ring.addRoundedRect(outer, 8, 8);
    ring = ring.subtracted(window);

    // A soft shadow lifts the frame off busy map tiles.
    for (int step = 3; step >= 1; --step) {
        QPainterPath shadow;
        shadow.addRoundedRect(outer.translated(step + 1, step + 1), 8, 8);
        painter.fillPath(shadow.subtracted(window), QColor(0, 0, 0, 28));
    }

    QLinearGradient fill(0, 0, 0, 60);
    fill.setColorAt(0, color.lighter(125));
    fill.setColorAt(1, color.darker(115));
    painter.fillPath(ring, fill);
    painter.setPen(QPen(outlineColor, 1));
    painter.drawRoundedRect(outer, 8, 8);
    painter.setPen(QPen(QColor(255, 255, 255, 230), 1));
    painter.drawRoundedRect(QRectF(4.5, 4.5, 51, 51), 2.5, 2.5);
    return image;
}

QImage paintDot(const QColor &color)
{
    QImage image = transparentImage(13, 12);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF disc(0.5, 0.5, 12, 11);
    QRadialGradient fill(QPointF(4.5, 3.5), 8);
    fill.setColorAt(0, color.lighter(160));
    fill.setColorAt(1, color);
    painter.setBrush(fill);
    painter.setPen(QPen(outlineColor, 1));
    painter.drawEllipse(disc);
    return image;
}

QImage paintZoom(bool plus)
{
    QImage image = transparentImage(48, 48);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0, 0, 0, 50), 3));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QPointF(24.5, 25.5), 21, 21);
    painter.setPen(QPen(QColor(60, 64, 67), 2));
    painter.setBrush(QColor(255, 255, 255, 225));
    painter.drawEllipse(QPointF(24, 24), 21, 21);

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(60, 64, 67));
    painter.drawRoundedRect(QRectF(13, 22, 22, 4), 1.5, 1.5);
    if (plus)
        painter.drawRoundedRect(QRectF(22, 13, 4, 22), 1.5, 1.5);
    return image;
}

// Maps an antialiased picture of two colours onto a small fixed palette, so the edges stay
// smooth without the dithering a generic conversion would add.
QImage toPalette(const QImage &image, const QColor &background, const QColor &mark)
{
    QVector<QRgb> table;
    const int shades = 32;
    for (int i = 0; i < shades; ++i) {
        const qreal t = qreal(i) / (shades - 1);
        table << qRgb(qRound(background.red() + t * (mark.red() - background.red())),
            qRound(background.green() + t * (mark.green() - background.green())),
            qRound(background.blue() + t * (mark.blue() - background.blue())));
    }
    for (int i = 0; i < shades - 1; ++i)
        table << qRgba(
            background.red(), background.green(), background.blue(), i * 255 / (shades - 1));

    QImage indexed(image.size(), QImage::Format_Indexed8);
    indexed.setColorTable(table);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            int best = 0;
            int bestDistance = INT_MAX;
            for (int i = 0; i < table.size(); ++i) {
                const QRgb entry = table.at(i);
                const int dr = qRed(entry) - qRed(pixel);
                const int dg = qGreen(entry) - qGreen(pixel);
                const int db = qBlue(entry) - qBlue(pixel);
                const int da = qAlpha(entry) - qAlpha(pixel);
                const int distance = dr * dr + dg * dg + db * db + 4 * da * da;
                if (distance < bestDistance) {
                    bestDistance = distance;
                    best = i;
                }
            }
            indexed.setPixel(x, y, static_cast<uint>(best));
        }
    }
    return indexed;
}

} // namespace

QVector<IconEntry> iconEntries()
{
    return {
        {QStringLiteral("Icons/Map/FrameOnline.png"), &paintFrameOnline},
        {QStringLiteral("Icons/Map/FrameOffline.png"), &paintFrameOffline},
        {QStringLiteral("Icons/Map/DotOnline.png"), &paintDotOnline},
        {QStringLiteral("Icons/Map/DotOffline.png"), &paintDotOffline},
        {QStringLiteral("Icons/Map/Person.png"), &paintPerson},
        {QStringLiteral("Icons/Map/UserPos.png"), &paintUserPos},
        {QStringLiteral("Icons/Map/ZoomIn.png"), &paintZoomIn},
        {QStringLiteral("Icons/Map/ZoomOut.png"), &paintZoomOut},
        {QStringLiteral("Icons/Social/facebook.png"), &paintFacebook},
        {QStringLiteral("Icons/Social/vk.png"), &paintVk},
        {QStringLiteral("Icons/Social/twitter.png"), &paintTwitter},
    };
}

QImage paintFrameOnline()
{
    return paintFrame(onlineColor);
}
QImage paintFrameOffline()
{
    return paintFrame(offlineColor);
}
QImage paintDotOnline()
{
    return paintDot(onlineColor);
}
QImage paintDotOffline()
{
    return paintDot(offlineColor);
}
QImage paintZoomIn()
{
    return paintZoom(true);
}
QImage paintZoomOut()
{
    return paintZoom(false);
}

QImage paintPerson()
{
    QImage image = transparentImage(48, 48);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath tile;
    tile.addRoundedRect(QRectF(0, 0, 48, 48), 4, 4);
    painter.fillPath(tile, QColor(222, 228, 233));
    painter.setClipPath(tile);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(150, 160, 170));
    painter.drawEllipse(QPointF(24, 18), 9, 9.5);
    painter.drawEllipse(QRectF(8, 31, 32, 30));
    return image;
}

QImage paintUserPos()
{
    QImage image = transparentImage(24, 24);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(12, 12);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(30, 136, 229, 70));
    painter.drawEllipse(centre, 11.5, 11.5);
    painter.setBrush(Qt::white);
    painter.drawEllipse(centre, 7, 7);
    painter.setBrush(QColor(30, 136, 229));
    painter.drawEllipse(centre, 5, 5);
    return image;
}

QImage paintFacebook()
{
    QImage image = transparentImage(140, 140);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath tile;
    tile.addRoundedRect(QRectF(0, 0, 140, 140), 26, 26);
    painter.fillPath(tile, facebookBlue);
    painter.setClipPath(tile);

    // A plain lower-case "f" whose stem runs off the bottom edge.
    QPainterPath letter;
    letter.moveTo(80, 150);
    letter.lineTo(80, 58);
    letter.cubicTo(80, 38, 90, 30, 110, 30);
    painter.setPen(QPen(Qt::white, 20, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    painter.drawPath(letter);
    painter.drawLine(QPointF(56, 78), QPointF(106, 78));
    painter.end();
    return toPalette(image, facebookBlue, Qt::white);
}

QImage paintVk()
{
    QImage image = transparentImage(364, 363);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(vkBlue);
    painter.drawRoundedRect(QRectF(0, 0, 364, 363), 82, 82);

    painter.setPen(QPen(Qt::white, 34, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    QPainterPath v;
    v.moveTo(72, 118);
    v.lineTo(124, 246);
    v.lineTo(176, 118);
    painter.drawPath(v);
    painter.drawLine(QPointF(214, 118), QPointF(214, 246));
    QPainterPath k;
    k.moveTo(294, 118);
    k.lineTo(222, 182);
    k.lineTo(298, 246);
    painter.drawPath(k);
    return image;
}

QImage paintTwitter()
{
    QImage image(300, 300, QImage::Format_RGB32);
    image.fill(twitterBlue);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);

    // A small bird facing right, its wing raised: each piece drawn in white over the others.
    painter.drawEllipse(QPointF(146, 182), 78, 46);
    painter.drawEllipse(QPointF(206, 128), 32, 31);
    painter.drawPolygon(
        QPolygonF({QPointF(178, 130), QPointF(236, 136), QPointF(214, 190), QPointF(170, 176)}));
    painter.drawPolygon(QPolygonF({QPointF(230, 110), QPointF(266, 106), QPointF(236, 134)}));
    painter.drawPolygon(QPolygonF({QPointF(82, 170), QPointF(34, 140), QPointF(60, 204)}));
    QPainterPath wing;
    wing.moveTo(112, 168);
    wing.cubicTo(92, 118, 104, 76, 150, 62);
    wing.cubicTo(146, 98, 164, 130, 184, 150);
    wing.closeSubpath();
    painter.drawPath(wing);

    painter.setBrush(twitterBlue);
    painter.drawEllipse(QPointF(214, 121), 5, 5);
    return image;
}

} // namespace Pinrova::Resources
