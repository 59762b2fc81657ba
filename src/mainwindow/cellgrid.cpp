#include "mainwindow/cellgrid.h"

#include "mainwindow/picturecell.h"
#include "units/units.h"

#include <QAccessible>
#include <QKeyEvent>

CellGrid::CellGrid(const Shape &shape, const char *name, QWidget *parent)
    : QWidget(parent), m_shape(shape)
{
    setFocusPolicy(Qt::TabFocus);
    for (int i = 1; i <= shape.count; ++i) {
        auto *cell = new PictureCell(this);
        cell->setObjectName(QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(i));
        cell->setGeometry(cellRect(i));
        cell->installEventFilter(this);
        connect(cell, &PictureCell::clicked, this, [this, i] { emit cellClicked(i); });
        m_cells.push_back(cell);
    }
    setFixedSize(childrenRect().size());
}

QRect CellGrid::cellRect(int index) const
{
    const int column = (index - 1) % m_shape.columns;
    const int row = (index - 1) / m_shape.columns;
    return units::layoutRect(m_shape.pitchX * column, m_shape.pitchY * row, m_shape.cellWidth,
                             m_shape.cellHeight);
}

int CellGrid::cellAt(QPoint at) const
{
    // Later cells lie on top where neighbours overlap.
    for (int i = count(); i >= 1; --i)
        if (cellRect(i).contains(at))
            return i;
    return 0;
}

void CellGrid::setBorders(bool on)
{
    for (PictureCell *cell : m_cells)
        cell->setBorder(on);
}

bool CellGrid::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (!m_strokes || (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
                       type != QEvent::MouseButtonRelease && type != QEvent::MouseButtonDblClick))
        return false;
    const auto *mouse = static_cast<QMouseEvent *>(event);
    const QPoint at = static_cast<QWidget *>(watched)->mapToParent(mouse->position().toPoint());
    if (type == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton) {
        m_stroking = true;
        m_stroked.assign(m_cells.size(), false);
        m_strokeAt = at;
        const int index = cellAt(at);
        m_stroked[index - 1] = true;
        emit cellClicked(index);
    } else if (type == QEvent::MouseMove && m_stroking && (mouse->buttons() & Qt::LeftButton)) {
        strokeTo(at);
    } else if (type != QEvent::MouseButtonDblClick) {
        // The second press of a double click is no press of its own.
        m_stroking = m_stroking && (mouse->buttons() & Qt::LeftButton);
    }
    return true;
}

// Walks the line from the last pointer position, a pixel at a time, so that no cell it
// crosses is missed however fast the pointer moves.
void CellGrid::strokeTo(QPoint at)
{
    const QPoint from = m_strokeAt;
    m_strokeAt = at;
    const int steps = std::max({std::abs(at.x() - from.x()), std::abs(at.y() - from.y()), 1});
    for (int step = 1; step <= steps && m_stroking; ++step) {
        const int index = cellAt(from + (at - from) * step / steps);
        if (index == 0 || m_stroked[index - 1])
            continue;
        m_stroked[index - 1] = true;
        emit cellEntered(index);
    }
}

void CellGrid::keyPressEvent(QKeyEvent *event)
{
    const int columns = m_shape.columns, column = (m_marked - 1) % columns;
    int to = m_marked;
    switch (event->key()) {
    case Qt::Key_Left:
        to -= column > 0 ? 1 : 0;
        break;
    case Qt::Key_Right:
        to += column < columns - 1 ? 1 : 0;
        break;
    case Qt::Key_Up:
        to -= m_marked > columns ? columns : 0;
        break;
    case Qt::Key_Down:
        to += m_marked + columns <= count() ? columns : 0;
        break;
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit cellClicked(m_marked);
        return;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    mark(to);
}

void CellGrid::mark(int index)
{
    cell(m_marked)->setMarked(false);
    m_marked = index;
    cell(index)->setMarked(hasFocus());
    if (hasFocus()) {
        // A screen reader says the name of the cell the mark is on.
        QAccessibleEvent focus(cell(index), QAccessible::Focus);
        QAccessible::updateAccessibility(&focus);
    }
}

void CellGrid::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    mark(m_marked);
}

void CellGrid::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    mark(m_marked);
}
