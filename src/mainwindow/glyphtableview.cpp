#include "mainwindow/glyphtableview.h"

#include "mainwindow/picturecell.h"
#include "units/units.h"

using namespace fonttable;

namespace
{

constexpr CellGrid::Shape Cells = {GlyphCount, GlyphColumns, 510, 990, 495, 975};

// Inside a cell each pixel is a 40-twip square on a 60-twip pitch.
constexpr int SquarePitch = 60;
constexpr int SquareSize = 40;
// A square repainted by the pixel editor sits this far right and down of the table's square.
constexpr int RepaintOffset = 7;

PictureCell::Fill square(int pixel, int offset, PackedColor color)
{
    const int left = SquarePitch * pixelColumn(pixel) + offset;
    const int top = SquarePitch * pixelRow(pixel) + offset;
    return {left, top, left + SquareSize, top + SquareSize, units::rgb(color)};
}

} // namespace

GlyphTableView::GlyphTableView(QWidget *parent) : CellGrid(Cells, "Viewer", parent)
{
    for (int g = 1; g <= GlyphCount; ++g) {
        cell(g)->setAccessibleName(tr("Glyph %1").arg(g));
        cell(g)->setAccessibleDescription(
            tr("Row %1, column %2 of the font table; click to edit the glyph")
                .arg((g - 1) / GlyphColumns + 1)
                .arg((g - 1) % GlyphColumns + 1));
    }
}

void GlyphTableView::drawTable(const FontTable &table)
{
    std::array<PictureCell::Fill, PixelsPerGlyph> squares;
    for (int g = 1; g <= GlyphCount; ++g) {
        for (int k = 1; k <= PixelsPerGlyph; ++k)
            squares[k - 1] = square(k, 0, grayColor(table.byte(pixelPosition(g, k))));
        cell(g)->fill(squares);
    }
}

void GlyphTableView::repaintPixel(int glyph, int pixel, PackedColor color)
{
    cell(glyph)->fill(square(pixel, RepaintOffset, color));
}
