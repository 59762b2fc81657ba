#include "mainwindow/cellgrid.h"

#include "mainwindow/picturecell.h"
#include "mainwindow/units.h"

CellGrid::CellGrid(const Shape &shape, const char *name, QWidget *parent) : QWidget(parent)
{
    for (int i = 1; i <= shape.count; ++i) {
        auto *cell = new PictureCell(this);
        cell->setObjectName(QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(i));
        const int column = (i - 1) % shape.columns;
        const int row = (i - 1) / shape.columns;
        cell->setGeometry(units::layoutRect(shape.pitchX * column, shape.pitchY * row,
                                            shape.cellWidth, shape.cellHeight));
        connect(cell, &PictureCell::clicked, this, [this, i] { emit cellClicked(i); });
        m_cells.push_back(cell);
    }
    setFixedSize(childrenRect().size());
}

void CellGrid::setBorders(bool on)
{
    for (PictureCell *cell : m_cells)
        cell->setBorder(on);
}
