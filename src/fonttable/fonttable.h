#pragma once

#include <QtGlobal>

#include <array>

// The game's font lives in one fixed block of the resource archive. The block is an 8-bit gray
// image 128 pixels wide and 96 rows high, stored row after row with no header or padding. It is
// cut into 16 x 6 glyphs of 8 x 16 pixels, numbered 1-96 row by row; one row of glyphs (a band)
// is 16 pixel rows of 128 bytes. Glyphs, pixels within a glyph and byte positions in the block are
// all counted from 1, as the game's modding notes count them.
namespace fonttable
{

inline constexpr qint64 TableOffset = 525'359'447; // zero-based offset of the block in the archive
inline constexpr int TableSize = 12'288;
inline constexpr qint64 MinimumArchiveSize = TableOffset + TableSize;

inline constexpr int GlyphCount = 96;
inline constexpr int GlyphColumns = 16;
inline constexpr int GlyphRows = GlyphCount / GlyphColumns;
inline constexpr int GlyphWidth = 8;
inline constexpr int GlyphHeight = 16;
inline constexpr int PixelsPerGlyph = GlyphWidth * GlyphHeight;
inline constexpr int RowBytes = GlyphColumns * GlyphWidth;
inline constexpr int BandBytes = GlyphHeight * RowBytes;

inline constexpr char ResourceName[] = "san11res.bin";

// A colour packed as red + 256 * green + 65536 * blue.
using PackedColor = quint32;

// The levels of a glyph's pixels 1-128, pixel k at index k - 1.
using Glyph = std::array<quint8, PixelsPerGlyph>;

// The in-memory copy of the block, addressed by 1-based byte positions.
class FontTable
{
public:
    quint8 byte(int position) const { return m_bytes[position - 1]; }
    void setByte(int position, quint8 value) { m_bytes[position - 1] = value; }
    // Glyph 1-96's bytes, gathered from its 16 rows of the image.
    Glyph glyph(int glyph) const;
    void setGlyph(int glyph, const Glyph &levels);

    quint8 *data() { return m_bytes.data(); }
    const quint8 *data() const { return m_bytes.data(); }

    bool operator==(const FontTable &) const = default;

private:
    std::array<quint8, TableSize> m_bytes{};
};

// Position of the top-left pixel of glyph 1-96.
int glyphFirstByte(int glyph);

// Pixels 1-128 of a glyph run row by row from the top-left.
constexpr int pixelColumn(int pixel)
{
    return (pixel - 1) % GlyphWidth;
}
constexpr int pixelRow(int pixel)
{
    return (pixel - 1) / GlyphWidth;
}

// Position of pixel 1-128 of glyph 1-96.
int pixelPosition(int glyph, int pixel);

// A pixel of an image as a level of the font table: only an opaque gray is one. Its samples run
// from 0 to full (255 at 8 bits, 65535 at 16), scaled to 0-255 and rounded.
struct PixelLevel {
    enum Kind { Gray, Transparent, Translucent, Coloured } kind;
    quint8 level; // for Gray
};
PixelLevel pixelLevel(int red, int green, int blue, int alpha, int full);

// A byte is shown as the gray with red = green = blue = value.
constexpr PackedColor grayColor(quint8 value)
{
    return value * 0x010101u;
}

} // namespace fonttable
