#include "mainwindow/glyphtableview.h"

#include "mainwindow/picturecell.h"
#include "mainwindow/units.h"

using namespace fonttable;

namespace
{

// Cells are 510 x 990 twips on a pitch of 495 x 975, so neighbours overlap by one pixel and
// their borders fall on one another.
constexpr int CellWidth = 510;
constexpr int CellHeight = 990;
constexpr int PitchX = 495;
constexpr int PitchY = 975;

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

GlyphTableView::GlyphTableView(QWidget *parent) : QWidget(parent)
{
    for (int g = 1; g <= GlyphCount; ++g) {
        auto *cell = new PictureCell(this);
        cell->setObjectName(QStringLiteral("Viewer(%1)").arg(g));
        const int c = (g - 1) % GlyphColumns;
        const int r = (g - 1) / GlyphColumns;
        cell->setAccessibleName(tr("Glyph %1").arg(g));
        cell->setAccessibleDescription(
            tr("Row %1, column %2 of the font table; click to edit the glyph")
                .arg(r + 1)
                .arg(c + 1));
        cell->setGeometry(units::layoutRect(PitchX * c, PitchY * r, CellWidth, CellHeight));
        connect(cell, &PictureCell::clicked, this, [this, g] { emit glyphClicked(g); });
        m_cells[g - 1] = cell;
    }
    setFixedSize(childrenRect().size());
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

void GlyphTableView::setBorders(bool on)
{
    for (PictureCell *cell : m_cells)
        cell->setBorder(on);
}
