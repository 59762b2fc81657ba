#pragma once

#include "fonttable/fonttable.h"
#include "mainwindow/cellgrid.h"

#include <array>

// The 8 x 16 grid of Editor cells, one a pixel of the glyph being edited. A click on a cell
// reports its pixel.
class PixelEditor : public CellGrid
{
    Q_OBJECT

public:
    // The grid's place in the main window's client area, in twips.
    static constexpr int Left = 8400;
    static constexpr int Top = 225;

    explicit PixelEditor(QWidget *parent = nullptr);

    // Shows each pixel of a glyph as its cell's background, clearing what was painted.
    void showGlyph(const std::array<qint16, fonttable::PixelsPerGlyph> &levels);
    // Covers the whole cell with the colour; its background stays as it was.
    void paintPixel(int pixel, fonttable::PackedColor color);
    // The pointer over the cells while the next click picks a level instead of painting.
    void setPickPointer(bool on);

private:
    void nameLevel(int pixel, int level);
    void describe(int pixel, bool picking);
};
