#pragma once

#include <QImage>
#include <QWidget>

#include <span>

// A picture box: a background colour, a border that is either off or one flat line, and filled
// rectangles drawn in twips that stay on the cell, through covering and border switches, until
// the background colour is set again. The drawing is kept in device pixels and laid on whole
// device pixels, so its rectangles keep sharp edges at every scale factor.
class PictureCell : public QWidget
{
    Q_OBJECT

public:
    // A filled rectangle with corners (x1, y1) and (x2, y2) in twips from the drawing area's
    // top-left corner, which lies inside the border.
    struct Fill {
        int x1, y1, x2, y2;
        QRgb color;
    };

    explicit PictureCell(QWidget *parent = nullptr);

    QColor background() const { return m_background; }
    // Clears the drawing to the colour.
    void setBackground(const QColor &color);

    bool hasBorder() const { return m_border; }
    void setBorder(bool on);

    void fill(const Fill &rect) { fill(std::span(&rect, 1)); }
    void fill(std::span<const Fill> rects);

    // The keyboard's focus mark, drawn over the cell without touching its drawing.
    void setMarked(bool on);

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void ensureImage();
    int inset() const; // the most device pixels the border can take, for the dirty rectangle

    QImage m_image; // the drawing area's lasting picture, in device pixels
    qreal m_imageScale = 0;
    QColor m_background;
    bool m_border = true;
    bool m_pressed = false;
    bool m_marked = false;
};
