#pragma once

#include <QWidget>

#include <vector>

class PictureCell;

// A grid of picture cells numbered from 1, row by row. The pitch is one pixel less than a
// cell, so neighbours overlap and their borders fall on one another as one grid line.
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
    void setBorders(bool on);

signals:
    void cellClicked(int index);

private:
    std::vector<PictureCell *> m_cells;
};
