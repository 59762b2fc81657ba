#pragma once

#include <QImage>
#include <QWidget>

class QAccessibleInterface;
class QPainter;

#include <vector>

// A grid of cells numbered from 1, row by row, drawn by one widget. The pitch is one pixel less
// than a cell, so neighbours overlap, later cells on top, and their borders fall on one another
// as one grid line. A cell is drawn in whole device pixels from its corner's, so its drawing keeps
// sharp edges at every scale factor. From the keyboard (Tab), the arrow keys move a focus mark
// from cell to cell, and Space or Enter clicks the marked cell. A screen reader sees each cell as
// a button with a name, a description and a press action.
class CellGrid : public QWidget
{
    Q_OBJECT

public:
    // All in twips.
    struct Shape {
        int count;
        int columns;
        int cellWidth;
        int cellHeight;
        int pitchX;
        int pitchY;
    };

    CellGrid(const Shape &shape, QWidget *parent);

    int count() const { return m_shape.count; }
    // In the grid's pixels, for drawing and for hit-testing alike.
    QRect cellRect(int index) const;
    int cellAt(QPoint at) const; // 0 where no cell is

    bool hasBorders() const { return m_borders; }
    void setBorders(bool on);
    // With strokes on, a press clicks a cell at once, and dragging with the button held enters
    // every cell on the line the pointer moves along, each once a stroke.
    void setStrokes(bool on) { m_strokes = on; }

    virtual QString cellName(int index) const = 0;
    virtual QString cellDescription(int index) const = 0;
    // As a click on the cell, for a screen reader's press.
    void press(int index) { emit cellClicked(index); }

signals:
    void cellClicked(int index);
    void cellEntered(int index); // by a stroke, after the click that began it

protected:
    // Draws the drawing area of a cell, inside its border, at `area` in device pixels.
    virtual void drawCell(QPainter &painter, const QRect &area, int index, qreal scale) const = 0;
    // An image of a drawing area's size for drawCell to draw into, reused from cell to cell.
    QImage &areaImage(QSize size) const;
    // Fills a rectangle with corners (x1, y1) and (x2, y2) in twips of a drawing area.
    static void fill(QImage &area, int x1, int y1, int x2, int y2, QRgb color, qreal scale);
    // Redraws the pixels of a cell's drawing area that a rectangle in twips covers.
    void updateArea(int index, int x1, int y1, int x2, int y2);
    void updateCell(int index);

    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;

private:
    // The factory QAccessible asks for a grid's interface, in cellgridaccessible.cpp.
    static QAccessibleInterface *accessibleGrid(const QString &className, QObject *object);
    QPoint cellPlace(QPoint at) const; // column and row of the cell under a point, even outside
    int cellIndex(QPoint place) const; // 0 outside the grid
    void strokeTo(QPoint place);
    void mark(int index);

    const Shape m_shape;
    bool m_borders = true;
    bool m_strokes = false;
    bool m_stroking = false;
    QPoint m_strokePlace;
    std::vector<bool> m_stroked; // by index - 1
    int m_pressed = 0;           // the cell a click began on
    int m_marked = 1;
    mutable QImage m_area;
};
