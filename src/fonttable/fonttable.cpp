#include "fonttable/fonttable.h"

namespace fonttable
{

int glyphFirstByte(int glyph)
{
    const int band = (glyph - 1) / GlyphColumns;
    const int column = (glyph - 1) % GlyphColumns;
    return BandBytes * band + GlyphWidth * column + 1;
}

int pixelPosition(int glyph, int pixel)
{
    return glyphFirstByte(glyph) + RowBytes * pixelRow(pixel) + pixelColumn(pixel);
}

} // namespace fonttable
