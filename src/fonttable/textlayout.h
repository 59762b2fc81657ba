#pragma once

// Text as the game shows it in the font table's glyphs: each character the 8 x 16 cell of its
// glyph, each line below the last. The preview window and tessora-png preview draw it alike.

#include "fonttable/fonttable.h"

#include <QList>
#include <QPoint>

namespace fonttable
{

// The character glyph 1-96 stands for: the space to '~', then the house sign, as the game's
// glyph for character 127 is drawn.
inline constexpr char32_t House = 0x2302;
char32_t glyphCharacter(int glyph);

// The glyph 1-96 of a character (127 or the house sign for glyph 96), or 0 when it has none.
int glyphOf(char32_t character);

struct TextLayout {
    // A line feed begins a new line.
    explicit TextLayout(const QList<char32_t> &text);

    QList<QList<int>> lines; // the glyph of each character, 0 for one that has none
    QList<char32_t> missing; // the characters that have no glyph, each once, as they come
    qsizetype columns = 0;   // the longest line's; shorter lines end in spaces
    // The cells, as (column, line), where the glyph stands, the spaces at line ends included.
    QList<QPoint> cellsOf(int glyph) const;
    int glyphAt(qsizetype column, qsizetype line) const;
};

// An 8-bit image the text is drawn into, each pixel of a glyph a block of scale x scale bytes of
// its level: columns * 8 * scale bytes wide, lines * 16 * scale rows high. A cell whose character
// has no glyph is left as it is.
struct TextImage {
    uchar *bits;
    qsizetype bytesPerLine;
    int scale;
};
void drawText(const TextImage &image, const FontTable &table, const TextLayout &text);

// Draws one pixel (1-128) of a glyph, or the whole glyph for pixel 0, again wherever it stands.
void drawTextPixel(const TextImage &image, const FontTable &table, const TextLayout &text,
                   int glyph, int pixel);

} // namespace fonttable
