#pragma once

#include "editor/fonteditor.h"
#include "views/cellgrid.h"

#include <bitset>

// The table of all 96 glyphs, 16 across and 6 down, one Viewer cell a glyph, each pixel shown
// enlarged as a square with lanes of the cell's background between the squares, drawn from the
// editor's font table. A click on a cell reports its glyph.
class GlyphTableView : public CellGrid
{
    Q_OBJECT

public:
    // The view's place in the main window's client area, in twips.
    static constexpr int Left = 240;
    static constexpr int Top = 225;

    explicit GlyphTableView(const FontEditor &font, QWidget *parent = nullptr);

    // After a Read: the whole table drawn again.
    void drawTable();
    // After a paint: the pixel's square, a little right and down of the table's square.
    void repaintPixel(int glyph, int pixel);
    // After an undo, a redo or a paste: the glyph's squares in the levels the table holds now.
    void redrawGlyph(int glyph) { updateCell(glyph); }

    QString cellName(int glyph) const override;
    QString cellDescription(int glyph) const override;

protected:
    void drawCell(QPainter &painter, const QRect &area, int glyph, qreal scale) const override;

private:
    const FontEditor &m_fontEditor;
    std::bitset<fonttable::TableSize> m_repainted; // by byte position - 1, since the last Read
};
