#pragma once

#include <QByteArray>
#include <QImage>

#include "glyphatlas.h"

namespace Pinrova::Sandbox {

struct TileIndex;

// Draws a quiet map tile for any index: a light background, the street grid from zoom 14 on,
// a graticule whose spacing follows the zoom so lines stay about 100-250 pixels apart, each
// line labelled with its degrees, and the tile's z/x/y in the bottom-left corner.
//
// Construct it on the GUI thread (it renders its glyphs there); render() draws no text itself,
// only stamps those glyphs, so it is safe on any thread and may run on the HTTP server's.
class CalmTilePainter
{
public:
    CalmTilePainter();

    QImage render(const TileIndex &tile) const;
    QByteArray png(const TileIndex &tile) const;

    // The graticule spacing in degrees for a pixel density, from a ladder of round values.
    static double gridStep(double pixelsPerDegree);

private:
    GlyphAtlas labels;
    GlyphAtlas corner;
};

} // namespace Pinrova::Sandbox
