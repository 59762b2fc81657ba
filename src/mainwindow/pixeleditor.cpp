#include "mainwindow/pixeleditor.h"

#include "mainwindow/picturecell.h"
#include "units/units.h"

using namespace fonttable;

namespace
{

constexpr int CellSize = 300;
constexpr CellGrid::Shape Cells = {PixelsPerGlyph, GlyphWidth, CellSize, CellSize, 285, 285};

} // namespace

PixelEditor::PixelEditor(QWidget *parent) : CellGrid(Cells, "Editor", parent)
{
    for (int k = 1; k <= PixelsPerGlyph; ++k) {
        cell(k)->setAccessibleName(tr("Pixel %1").arg(k));
        describe(k, false);
    }
}

void PixelEditor::showGlyph(const std::array<qint16, PixelsPerGlyph> &levels)
{
    for (int k = 1; k <= PixelsPerGlyph; ++k) {
        cell(k)->setBackground(units::color(grayColor(quint8(levels[k - 1]))));
        nameLevel(k, levels[k - 1]);
    }
}

void PixelEditor::paintPixel(int pixel, PackedColor color)
{
    cell(pixel)->fill({0, 0, CellSize, CellSize, units::rgb(color)});
    nameLevel(pixel, int(color & 0xff)); // a gray: every channel holds the level
}

void PixelEditor::describe(int pixel, bool picking)
{
    const QString where =
        tr("Row %1, column %2 of the glyph").arg(pixelRow(pixel) + 1).arg(pixelColumn(pixel) + 1);
    cell(pixel)->setAccessibleDescription(
        where +
        (picking ? tr("; click to take its level into the pen") : tr("; click to paint it")));
}

void PixelEditor::nameLevel(int pixel, int level)
{
    cell(pixel)->setAccessibleName(tr("Pixel %1, level %2").arg(pixel).arg(level));
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
