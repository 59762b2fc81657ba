#include "fonttable/textlayout.h"

#include <cstring>

namespace fonttable
{

char32_t glyphCharacter(int glyph)
{
    return glyph < GlyphCount ? char32_t(' ' + glyph - 1) : House;
}

int glyphOf(char32_t character)
{
    if (character == House || character == 127)
        return GlyphCount;
    return character >= ' ' && character < 127 ? int(character - ' ') + 1 : 0;
}

TextLayout::TextLayout(const QList<char32_t> &text) : lines{{}}
{
    for (const char32_t character : text) {
        if (character == '\n') {
            lines.emplaceBack();
            continue;
        }
        const int glyph = glyphOf(character);
        if (glyph == 0 && !missing.contains(character))
            missing << character;
        lines.back() << glyph;
        columns = std::max(columns, lines.back().size());
    }
}

int TextLayout::glyphAt(qsizetype column, qsizetype line) const
{
    return lines[line].value(column, 1);
}

QList<QPoint> TextLayout::cellsOf(int glyph) const
{
    QList<QPoint> cells;
    for (qsizetype line = 0; line < lines.size(); ++line)
        for (qsizetype column = 0; column < columns; ++column)
            if (glyphAt(column, line) == glyph)
                cells << QPoint(int(column), int(line));
    return cells;
}

namespace
{

void drawPixel(const TextImage &image, const FontTable &table, QPoint cell, int glyph, int pixel)
{
    const int s = image.scale, x = (cell.x() * GlyphWidth + pixelColumn(pixel)) * s;
    const quint8 level = table.byte(pixelPosition(glyph, pixel));
    uchar *row = image.bits + image.bytesPerLine * (cell.y() * GlyphHeight + pixelRow(pixel)) * s;
    for (int y = 0; y < s; ++y, row += image.bytesPerLine)
        std::memset(row + x, level, size_t(s));
}

void drawCell(const TextImage &image, const FontTable &table, QPoint cell, int glyph, int pixel)
{
    for (int k = pixel ? pixel : 1; k <= (pixel ? pixel : PixelsPerGlyph); ++k)
        drawPixel(image, table, cell, glyph, k);
}

} // namespace

void drawText(const TextImage &image, const FontTable &table, const TextLayout &text)
{
    for (qsizetype line = 0; line < text.lines.size(); ++line)
        for (qsizetype column = 0; column < text.columns; ++column)
            if (const int glyph = text.glyphAt(column, line))
                drawCell(image, table, QPoint(int(column), int(line)), glyph, 0);
}

void drawTextPixel(const TextImage &image, const FontTable &table, const TextLayout &text,
                   int glyph, int pixel)
{
    for (const QPoint cell : text.cellsOf(glyph))
        drawCell(image, table, cell, glyph, pixel);
}

} // namespace fonttable
