#include "mainwindow/pixeleditor.h"

#include "mainwindow/picturecell.h"
#include "mainwindow/units.h"

using namespace fonttable;

namespace
{

// Cells are 300 twips square on a pitch of 285, so neighbours share their border line.
constexpr int CellSize = 300;
constexpr int Pitch = 285;

} // namespace

PixelEditor::PixelEditor(QWidget *parent) : QWidget(parent)
{
    for (int k = 1; k <= PixelsPerGlyph; ++k) {
        auto *cell = new PictureCell(this);
        cell->setObjectName(QStringLiteral("Editor(%1)").arg(k));
        cell->setGeometry(
            units::layoutRect(Pitch * pixelColumn(k), Pitch * pixelRow(k), CellSize, CellSize));
        connect(cell, &PictureCell::clicked, this, [this, k] { emit pixelClicked(k); });
        m_cells[k - 1] = cell;
    }
    setFixedSize(childrenRect().size());
}

void PixelEditor::showGlyph(const std::array<qint16, PixelsPerGlyph> &levels)
{
    for (int k = 1; k <= PixelsPerGlyph; ++k)
        cell(k)->setBackground(units::color(grayColor(quint8(levels[k - 1]))));
}

void PixelEditor::paintPixel(int pixel, PackedColor color)
{
    cell(pixel)->fill({0, 0, CellSize, CellSize, units::color(color).rgb()});
}

void PixelEditor::setPickPointer(bool on)
{
    for (PictureCell *cell : m_cells) {
        if (on)
            cell->setCursor(Qt::WhatsThisCursor);
        else
            cell->unsetCursor();
    }
}

void PixelEditor::setBorders(bool on)
{
    for (PictureCell *cell : m_cells)
        cell->setBorder(on);
}
