#include "glyphatlas.h"

#include <QFontMetrics>
#include <QPainter>

namespace Pinrova::Sandbox {

GlyphAtlas::GlyphAtlas(const QFont &font, const QColor &color, const QString &characters)
{
    const QFontMetrics metrics(font);
    lineHeight = metrics.height();
    for (const QChar c : characters) {
        Glyph glyph;
        glyph.advance = metrics.horizontalAdvance(c);
        glyph.image = QImage(glyph.advance + 2, lineHeight, QImage::Format_ARGB32_Premultiplied);
        glyph.image.fill(Qt::transparent);
        QPainter painter(&glyph.image);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setFont(font);
        painter.setPen(color);
        painter.drawText(1, metrics.ascent(), QString(c));
        painter.end();
        glyphs.insert(c, glyph);
    }
}

int GlyphAtlas::width(const QString &text) const
{
    int total = 0;
    for (const QChar c : text)
        total += glyphs.value(c).advance;
    return total;
}

void GlyphAtlas::draw(QPainter &painter, int x, int y, const QString &text) const
{
    for (const QChar c : text) {
        const auto it = glyphs.constFind(c);
        if (it == glyphs.constEnd())
            continue;
        painter.drawImage(x - 1, y, it->image);
        x += it->advance;
    }
}

} // namespace Pinrova::Sandbox
