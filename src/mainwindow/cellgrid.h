#pragma once

#include <QWidget>

#include <vector>

class PictureCell;

// A grid of picture cells numbered from 1, row by row. The pitch is one pixel less than a
// cell, so neighbours overlap and their borders fall on one another as one grid line.
// From the keyboard (Tab), the arrow keys move a focus mark from cell to cell, and Space or
// Enter clicks the marked cell.
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

    // Cells are named name(1), name(2), ...
    CellGrid(const Shape &shape, const char *name, QWidget *parent);

    PictureCell *cell(int index) const { return m_cells[index - 1]; }
    int count() const { return int(m_cells.size()); }
    void setBorders(bool on);
    // With strokes on, a press clicks a cell at once, and dragging with the button held enters
    // every cell the pointer passes, each once a stroke.
    void setStrokes(bool on) { m_strokes = on; }

signals:
    void cellClicked(int index);
    void cellEntered(int index); // by a stroke, after the click that began it

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    QRect cellRect(int index) const; // in the grid's pixels, for placing and for hit-testing
    int cellAt(QPoint at) const;     // 0 where no cell is
    void strokeTo(QPoint at);
    void mark(int index);

    Shape m_shape;
    std::vector<PictureCell *> m_cells;
    bool m_strokes = false;
    bool m_stroking = false;
    QPoint m_strokeAt;
    std::vector<bool> m_stroked; // by index - 1
    int m_marked = 1;
};
