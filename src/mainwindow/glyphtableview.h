#pragma once

#include "fonttable/fonttable.h"
#include "mainwindow/cellgrid.h"

// The table of all 96 glyphs, 16 across and 6 down, one Viewer cell a glyph, each pixel shown
// enlarged as a square with lanes of the cell's background between the squares. A click on a
// cell reports its glyph.
class GlyphTableView : public CellGrid
{
    Q_OBJECT

public:
    // The view's place in the main window's client area, in twips.
    static constexpr int Left = 240;
    static constexpr int Top = 225;

    explicit GlyphTableView(QWidget *parent = nullptr);

    void drawTable(const fonttable::FontTable &table);
    // The square of one pixel in the pen colour, as the pixel editor paints it.
    void repaintPixel(int glyph, int pixel, fonttable::PackedColor color);
};
