#pragma once

#include "editor/fonteditor.h"
#include "views/cellgrid.h"

// The 8 x 16 grid of Editor cells, one a pixel of the glyph being edited, each showing the
// pixel's level as the editor holds it. A click on a cell reports its pixel.
class PixelEditor : public CellGrid
{
    Q_OBJECT

public:
    // The grid's place in the main window's client area, in twips.
    static constexpr int Left = 8400;
    static constexpr int Top = 225;

    explicit PixelEditor(const FontEditor &font, QWidget *parent = nullptr);

    // After a glyph is loaded: every cell shown again.
    void showGlyph() { update(); }
    // After a paint: the whole cell in the new level.
    void paintPixel(int pixel);
    // The pointer over the cells while the next click picks a level instead of painting.
    void setPickPointer(bool on);

    QString cellName(int pixel) const override;
    QString cellDescription(int pixel) const override;

protected:
    void drawCell(QPainter &painter, const QRect &area, int pixel, qreal scale) const override;

private:
    const FontEditor &m_fontEditor;
};
