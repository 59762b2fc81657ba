#include "views/cellgrid.h"

#include "views/units.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

CellGrid::CellGrid(const Shape &shape, QWidget *parent) : QWidget(parent), m_shape(shape)
{
    static const bool accessible = (QAccessible::installFactory(accessibleGrid), true);
    Q_UNUSED(accessible);
    // Whole rows: the grid's size and its painting take its last cell as its corner.
    Q_ASSERT(shape.count % shape.columns == 0);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize(cellRect(1).united(cellRect(count())).size());
}

QRect CellGrid::cellRect(int index) const
{
    const int column = (index - 1) % m_shape.columns;
    const int row = (index - 1) / m_shape.columns;
    return units::layoutRect(m_shape.pitchX * column, m_shape.pitchY * row, m_shape.cellWidth,
                             m_shape.cellHeight);
}

QPoint CellGrid::cellPlace(QPoint at) const
{
    auto floorDiv = [](int a, int b) {
        return a / b - (a % b < 0 ? 1 : 0);
    };
    return QPoint(floorDiv(at.x(), units::pixels(m_shape.pitchX)),
                  floorDiv(at.y(), units::pixels(m_shape.pitchY)));
}

int CellGrid::cellIndex(QPoint place) const
{
    const int index = place.y() * m_shape.columns + place.x() + 1;
    const bool inside = place.x() >= 0 && place.x() < m_shape.columns && place.y() >= 0;
    return inside && index <= count() ? index : 0;
}

int CellGrid::cellAt(QPoint at) const
{
    // Where neighbours overlap the later cell lies on top, and the place found is that cell's;
    // the last column and row reach one pixel past their pitch.
    const QPoint place = cellPlace(at);
    const int rows = (count() + m_shape.columns - 1) / m_shape.columns;
    const int index =
        cellIndex(QPoint(std::min(place.x(), m_shape.columns - 1), std::min(place.y(), rows - 1)));
    return index && cellRect(index).contains(at) ? index : 0;
}

void CellGrid::setBorders(bool on)
{
    if (m_borders == on)
        return;
    m_borders = on;
    update();
}

void CellGrid::fill(QImage &area, int x1, int y1, int x2, int y2, QRgb color, qreal scale)
{
    const QRect pixels = units::cornersRect(x1, y1, x2, y2, scale) & area.rect();
    for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(area.scanLine(y));
        std::fill(line + pixels.left(), line + pixels.right() + 1, color);
    }
}

void CellGrid::updateArea(int index, int x1, int y1, int x2, int y2)
{
    // At scale 1 the device pixels are the design's, which every scale shows enlarged.
    const int border = m_borders ? 1 : 0;
    const QRect pixels = units::cornersRect(x1, y1, x2, y2, 1.0);
    update(pixels.translated(cellRect(index).topLeft() + QPoint(border, border))
               .adjusted(-1, -1, 1, 1));
}

void CellGrid::updateCell(int index)
{
    update(cellRect(index));
}

void CellGrid::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const qreal scale = devicePixelRatioF();

    // Paint in device pixels, counted from the whole device pixel nearest to the grid's corner:
    // at fractional scale factors the corner itself may fall between two device pixels.
    const QTransform toDevice = painter.deviceTransform();
    const QPointF corner(toDevice.dx(), toDevice.dy());
    const QPoint snapped(int(std::lround(corner.x())), int(std::lround(corner.y())));
    painter.translate((QPointF(snapped) - corner) / scale);
    painter.scale(1 / scale, 1 / scale);
    auto device = [&](QPoint logical) {
        return QPoint(int(std::lround(corner.x() + logical.x() * scale)) - snapped.x(),
                      int(std::lround(corner.y() + logical.y() * scale)) - snapped.y());
    };

    // A cell in device pixels, whole and inside its border.
    struct DeviceCell {
        QRect cell, area;
    };
    auto deviceCell = [&](int index) {
        const int border = m_borders ? 1 : 0;
        const QRect logical = cellRect(index);
        const QPoint end = logical.bottomRight() + QPoint(1, 1);
        return DeviceCell{QRect(device(logical.topLeft()), device(end) - QPoint(1, 1)),
                          QRect(device(logical.topLeft() + QPoint(border, border)),
                                device(end - QPoint(border, border)) - QPoint(1, 1))};
    };

    const QRect dirty = event->rect();
    const QPoint first = cellPlace(dirty.topLeft()) - QPoint(1, 1);
    const QPoint last = cellPlace(dirty.bottomRight());
    std::vector<int> cells;
    for (int row = std::max(first.y(), 0); row <= last.y(); ++row)
        for (int column = std::max(first.x(), 0); column <= last.x(); ++column)
            if (const int index = cellIndex(QPoint(column, row));
                index && cellRect(index).intersects(dirty))
                cells.push_back(index);
    if (cells.empty())
        return;

    // The border is the cell's outermost logical pixel, so that it covers exactly the overlap
    // with its neighbour and neighbouring borders fall on one another as one line at every
    // scale. The cells to draw are a block of whole rows and columns, so all their borders are
    // one fill under their areas.
    if (m_borders)
        painter.fillRect(deviceCell(cells.front()).cell.united(deviceCell(cells.back()).cell),
                         palette().color(QPalette::WindowText));
    // Without borders neighbours overlap, the later on top.
    for (int index : cells)
        drawCell(painter, deviceCell(index).area, index, scale);

    if (hasFocus() && std::find(cells.begin(), cells.end(), m_marked) != cells.end()) {
        // A black ring with a white one inside shows on every gray, on the borders and the lanes
        // between cells alike. The mark stays off the pixels the cell shares with its right and
        // lower neighbours, which are theirs.
        const QRect cell = deviceCell(m_marked).cell;
        QRect own = cell;
        if (m_marked % m_shape.columns != 0 && m_marked < count())
            own.setRight(deviceCell(m_marked + 1).cell.left() - 1);
        if (m_marked + m_shape.columns <= count())
            own.setBottom(deviceCell(m_marked + m_shape.columns).cell.top() - 1);
        const int width = std::max(1, int(scale));
        painter.setClipRect(own);
        for (const Qt::GlobalColor color : {Qt::black, Qt::white}) {
            const int inset = color == Qt::black ? 0 : width;
            const QRect ring = own.adjusted(inset, inset, -inset, -inset);
            const QRegion inside = ring.adjusted(width, width, -width, -width);
            painter.setClipRegion(QRegion(ring) - inside);
            painter.fillRect(ring, color);
        }
    }
}

QImage &CellGrid::areaImage(QSize size) const
{
    if (m_area.size() != size)
        m_area = QImage(size, QImage::Format_RGB32);
    return m_area;
}

void CellGrid::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        m_pressed = 0;
        return;
    }
    const QPoint at = event->position().toPoint();
    m_pressed = cellAt(at);
    // The keyboard follows the mouse: its mark goes to the cell pressed, and Tab leaves from there.
    if (m_pressed) {
        setFocus(Qt::MouseFocusReason);
        mark(m_pressed);
    }
    if (!m_strokes || !m_pressed)
        return;
    m_stroking = true;
    m_stroked.assign(size_t(count()), false);
    m_strokePlace = cellPlace(at);
    m_stroked[m_pressed - 1] = true;
    emit cellClicked(m_pressed);
}

void CellGrid::mouseMoveEvent(QMouseEvent *event)
{
    if (m_stroking && (event->buttons() & Qt::LeftButton))
        strokeTo(cellPlace(event->position().toPoint()));
}

void CellGrid::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = !m_strokes && m_pressed && event->button() == Qt::LeftButton &&
                       cellRect(m_pressed).contains(event->position().toPoint());
    const int index = m_pressed;
    m_pressed = 0;
    m_stroking = m_stroking && (event->buttons() & Qt::LeftButton);
    if (click)
        emit cellClicked(index);
}

void CellGrid::mouseDoubleClickEvent(QMouseEvent *)
{
    // The second press of a double click is no press of its own.
    m_pressed = 0;
}

// Walks the line of cells from the last pointer position's cell to this one, one cell a step
// along the longer axis, so that however fast the pointer moves the stroke has no gap and no
// doubled corner.
void CellGrid::strokeTo(QPoint place)
{
    const QPoint from = m_strokePlace;
    m_strokePlace = place;
    const int dx = std::abs(place.x() - from.x()), dy = std::abs(place.y() - from.y());
    const int sx = place.x() < from.x() ? -1 : 1, sy = place.y() < from.y() ? -1 : 1;
    QPoint at = from;
    for (int error = dx - dy; at != place && m_stroking;) {
        const int twice = 2 * error;
        if (twice > -dy) {
            error -= dy;
            at.rx() += sx;
        }
        if (twice < dx) {
            error += dx;
            at.ry() += sy;
        }
        const int index = cellIndex(at);
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
    updateCell(m_marked);
    m_marked = index;
    updateCell(index);
    if (hasFocus()) {
        // A screen reader says the name of the cell the mark is on.
        QAccessibleEvent focus(this, QAccessible::Focus);
        focus.setChild(index - 1);
        QAccessible::updateAccessibility(&focus);
    }
}

// QWidget draws the grid again as the focus comes and goes, with or without the mark.
void CellGrid::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    mark(m_marked);
}
