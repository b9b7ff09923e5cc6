#pragma once

#include <QColor>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QString>

class QPainter;

namespace Pinrova::Sandbox {

// A few characters rendered once, in one font and colour, so labels can be stamped onto images
// on threads where text rendering is not allowed. Build it on the GUI thread; afterwards it is
// read-only and may be used from any thread.
class GlyphAtlas
{
public:
    GlyphAtlas(const QFont &font, const QColor &color, const QString &characters);

    // Width in pixels of text made of the atlas's characters (others count as nothing).
    int width(const QString &text) const;
    int height() const { return lineHeight; }
    // Draws text with its top-left corner at (x, y); characters not in the atlas are skipped.
    void draw(QPainter &painter, int x, int y, const QString &text) const;

private:
    struct Glyph
    {
        QImage image; // one pixel wider on each side than the advance, for antialiased edges
        int advance = 0;
    };
    QHash<QChar, Glyph> glyphs;
    int lineHeight = 0;
};

} // namespace Pinrova::Sandbox
