#pragma once

#include "fonttable/textlayout.h"

#include <QColor>
#include <QImage>
#include <QWidget>

#include <array>

class FontEditor;

// A text drawn in the glyphs of the table the editor holds, unsaved edits included, as the game
// shows it: each pixel of a glyph a block of whole device pixels, its level the ink's cover of
// the background. It follows every change of the table at once, redrawing only what changed. A
// character without a glyph is an empty cell in a thin frame.
class TextPreview : public QWidget
{
    Q_OBJECT

public:
    TextPreview(const FontEditor &editor, QWidget *parent);

    void setText(const QString &text);
    void setZoom(int zoom); // 1 to 4
    void setColors(QColor ink, QColor background);
    const fonttable::TextLayout &layout() const { return m_layout; }
    QColor ink() const { return m_ink; }
    QColor background() const { return m_background; }
    // Device pixels to a pixel of a glyph.
    int blockSize() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void rebuild();
    void tableChanged(int glyph, int pixel);
    void showLevels(const QRect &device);
    QRect logicalRect(const QRect &device) const;
    QString tooLong() const;

    const FontEditor &m_editor;
    QString m_text;
    fonttable::TextLayout m_layout{{}};
    int m_zoom = 1;
    QColor m_ink = Qt::white, m_background = Qt::black;
    std::array<QRgb, 256> m_colors{};
    QImage m_levels; // the text's levels, one byte a device pixel
    QImage m_shown;  // in colour
    bool m_tooLong = false;
};
