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
        cell->setAccessibleName(tr("Pixel %1").arg(k));
        cell->setGeometry(
            units::layoutRect(Pitch * pixelColumn(k), Pitch * pixelRow(k), CellSize, CellSize));
        connect(cell, &PictureCell::clicked, this, [this, k] { emit pixelClicked(k); });
        m_cells[k - 1] = cell;
        describe(k, false);
    }
    setFixedSize(childrenRect().size());
}

void PixelEditor::showGlyph(const std::array<qint16, PixelsPerGlyph> &levels)
{
    for (int k = 1; k <= PixelsPerGlyph; ++k) {
        const QColor color = units::color(grayColor(quint8(levels[k - 1])));
        cell(k)->setBackground(color);
        nameLevel(k, color);
    }
}

void PixelEditor::paintPixel(int pixel, PackedColor color)
{
    const QColor shown = units::color(color);
    cell(pixel)->fill({0, 0, CellSize, CellSize, units::rgb(color)});
    nameLevel(pixel, shown);
}

void PixelEditor::describe(int pixel, bool picking)
{
    const QString where =
        tr("Row %1, column %2 of the glyph").arg(pixelRow(pixel) + 1).arg(pixelColumn(pixel) + 1);
    cell(pixel)->setAccessibleDescription(
        where +
        (picking ? tr("; click to take its level into the pen") : tr("; click to paint it")));
}

void PixelEditor::nameLevel(int pixel, const QColor &gray)
{
    cell(pixel)->setAccessibleName(tr("Pixel %1, level %2").arg(pixel).arg(gray.red()));
}

void PixelEditor::setPickPointer(bool on)
{
    for (int k = 1; k <= PixelsPerGlyph; ++k) {
        if (on)
            cell(k)->setCursor(Qt::WhatsThisCursor);
        else
            cell(k)->unsetCursor();
        describe(k, on);
    }
}

void PixelEditor::setBorders(bool on)
{
    for (PictureCell *cell : m_cells)
        cell->setBorder(on);
}
