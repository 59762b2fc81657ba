#include "views/pixeleditor.h"

#include "views/units.h"

#include <QPainter>

using namespace fonttable;

namespace
{

constexpr int CellSize = 300;
constexpr CellGrid::Shape Cells = {PixelsPerGlyph, GlyphWidth, CellSize, CellSize, 285, 285};

} // namespace

PixelEditor::PixelEditor(const FontEditor &font, QWidget *parent)
    : CellGrid(Cells, parent), m_fontEditor(font)
{
}

void PixelEditor::paintPixel(int pixel)
{
    updateArea(pixel, 0, 0, CellSize, CellSize);
}

void PixelEditor::setPickPointer(bool on)
{
    if (on)
        setCursor(Qt::WhatsThisCursor);
    else
        unsetCursor();
}

QString PixelEditor::cellName(int pixel) const
{
    if (m_fontEditor.state().SelectedGlyph == 0)
        return tr("Pixel %1").arg(pixel);
    return tr("Pixel %1, level %2").arg(pixel).arg(m_fontEditor.state().PixelValues[pixel - 1]);
}

QString PixelEditor::cellDescription(int pixel) const
{
    const QString where =
        tr("Row %1, column %2 of the glyph").arg(pixelRow(pixel) + 1).arg(pixelColumn(pixel) + 1);
    return where + (m_fontEditor.state().PickMode ? tr("; click to take its level into the pen")
                                                  : tr("; click to paint it"));
}

void PixelEditor::drawCell(QPainter &painter, const QRect &area, int pixel, qreal) const
{
    const EditorState &state = m_fontEditor.state();
    painter.fillRect(area, state.SelectedGlyph
                               ? units::color(grayColor(quint8(state.PixelValues[pixel - 1])))
                               : palette().color(QPalette::Base));
}
