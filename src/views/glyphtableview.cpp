#include "views/glyphtableview.h"

#include "views/units.h"

#include <QPainter>

using namespace fonttable;

namespace
{

constexpr CellGrid::Shape Cells = {GlyphCount, GlyphColumns, 510, 990, 495, 975};

// Inside a cell each pixel is a 40-twip square on a 60-twip pitch.
constexpr int SquarePitch = 60;
constexpr int SquareSize = 40;
// A square repainted by the pixel editor sits this far right and down of the table's square.
constexpr int RepaintOffset = 7;

QPoint squareCorner(int pixel, bool repainted)
{
    const int offset = repainted ? RepaintOffset : 0;
    return QPoint(SquarePitch * pixelColumn(pixel) + offset,
                  SquarePitch * pixelRow(pixel) + offset);
}

} // namespace

GlyphTableView::GlyphTableView(const FontEditor &font, QWidget *parent)
    : CellGrid(Cells, parent), m_fontEditor(font)
{
}

void GlyphTableView::drawTable()
{
    m_repainted.reset();
    update();
}

void GlyphTableView::repaintPixel(int glyph, int pixel)
{
    m_repainted.set(size_t(pixelPosition(glyph, pixel) - 1));
    const QPoint corner = squareCorner(pixel, true);
    updateArea(glyph, corner.x(), corner.y(), corner.x() + SquareSize, corner.y() + SquareSize);
}

QString GlyphTableView::cellName(int glyph) const
{
    return tr("Glyph %1").arg(glyph);
}

QString GlyphTableView::cellDescription(int glyph) const
{
    return tr("Row %1, column %2 of the font table; click to edit the glyph")
        .arg((glyph - 1) / GlyphColumns + 1)
        .arg((glyph - 1) % GlyphColumns + 1);
}

void GlyphTableView::drawCell(QPainter &painter, const QRect &area, int glyph, qreal scale) const
{
    const EditorState &state = m_fontEditor.state();
    if (!state.TableLoaded) {
        painter.fillRect(area, palette().color(QPalette::Base));
        return;
    }
    QImage &image = areaImage(area.size());
    image.fill(palette().color(QPalette::Base));
    for (int k = 1; k <= PixelsPerGlyph; ++k) {
        const int position = pixelPosition(glyph, k);
        const QPoint corner = squareCorner(k, m_repainted[size_t(position - 1)]);
        fill(image, corner.x(), corner.y(), corner.x() + SquareSize, corner.y() + SquareSize,
             units::rgb(grayColor(state.FontTable.byte(position))), scale);
    }
    painter.drawImage(area.topLeft(), image);
}
