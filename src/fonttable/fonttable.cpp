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

Glyph FontTable::glyph(int glyph) const
{
    Glyph levels;
    for (int k = 1; k <= PixelsPerGlyph; ++k)
        levels[k - 1] = byte(pixelPosition(glyph, k));
    return levels;
}

void FontTable::setGlyph(int glyph, const Glyph &levels)
{
    for (int k = 1; k <= PixelsPerGlyph; ++k)
        setByte(pixelPosition(glyph, k), levels[k - 1]);
}

PixelLevel pixelLevel(int red, int green, int blue, int alpha, int full)
{
    if (alpha == 0)
        return {PixelLevel::Transparent, 0};
    if (alpha != full)
        return {PixelLevel::Translucent, 0};
    if (red != green || green != blue)
        return {PixelLevel::Coloured, 0};
    return {PixelLevel::Gray, quint8((red * 255 + full / 2) / full)};
}

} // namespace fonttable
