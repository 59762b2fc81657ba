#include "mainwindow/picturecell.h"

#include "units/units.h"

#include <QAccessibleWidget>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace
{

// To a screen reader a cell is a button: it says the cell's name and can press it.
class AccessibleCell : public QAccessibleWidget
{
public:
    explicit AccessibleCell(PictureCell *cell) : QAccessibleWidget(cell, QAccessible::Button) {}

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &action) override
    {
        if (action == pressAction())
            emit static_cast<PictureCell *>(widget())->clicked();
    }
};

QAccessibleInterface *accessibleCell(const QString &className, QObject *object)
{
    if (className == QLatin1String("PictureCell"))
        return new AccessibleCell(static_cast<PictureCell *>(object));
    return nullptr;
}

} // namespace

PictureCell::PictureCell(QWidget *parent)
    : QWidget(parent), m_background(palette().color(QPalette::Base))
{
    static const bool accessible = (QAccessible::installFactory(accessibleCell), true);
    Q_UNUSED(accessible);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureCell::setBackground(const QColor &color)
{
    m_background = color;
    if (!m_image.isNull())
        m_image.fill(color);
    update();
}

void PictureCell::setMarked(bool on)
{
    if (m_marked == on)
        return;
    m_marked = on;
    update();
}

void PictureCell::setBorder(bool on)
{
    if (m_border == on)
        return;
    m_border = on;
    update();
}

int PictureCell::inset() const
{
    return m_border ? int(std::ceil(m_imageScale)) : 0;
}

void PictureCell::ensureImage()
{
    const qreal scale = devicePixelRatioF();
    const QSize size(int(std::ceil(width() * scale)) + 1, int(std::ceil(height() * scale)) + 1);
    if (m_image.size() == size && m_imageScale == scale)
        return;
    if (m_image.isNull()) {
        m_image = QImage(size, QImage::Format_RGB32);
        m_image.fill(m_background);
    } else {
        // Moved to a screen of another scale factor: keep the drawing as well as pixels allow.
        m_image = m_image.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    }
    m_imageScale = scale;
}

void PictureCell::fill(std::span<const Fill> rects)
{
    ensureImage();
    QRect dirty;
    for (const Fill &r : rects) {
        const QRect pixels =
            units::cornersRect(r.x1, r.y1, r.x2, r.y2, m_imageScale) & m_image.rect();
        for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
            QRgb *line = reinterpret_cast<QRgb *>(m_image.bits() + y * m_image.bytesPerLine());
            std::fill(line + pixels.left(), line + pixels.right() + 1, r.color);
        }
        dirty |= pixels;
    }
    if (dirty.isEmpty())
        return;
    const QRectF logical(QPointF(dirty.translated(inset(), inset()).topLeft()) / m_imageScale,
                         QSizeF(dirty.size()) / m_imageScale);
    update(logical.toAlignedRect().adjusted(-1, -1, 1, 1));
}

void PictureCell::paintEvent(QPaintEvent *)
{
    ensureImage();
    QPainter painter(this);
    const qreal scale = m_imageScale;

    // Paint in device pixels, counted from the whole device pixel nearest to the cell's corner:
    // at fractional scale factors the corner itself may fall between two device pixels.
    const QTransform toDevice = painter.deviceTransform();
    const QPointF corner(toDevice.dx(), toDevice.dy());
    const QPoint snapped(int(std::lround(corner.x())), int(std::lround(corner.y())));
    painter.translate((QPointF(snapped) - corner) / scale);
    painter.scale(1 / scale, 1 / scale);

    // Where a logical pixel of the cell begins, in its device pixels. The border is the cell's
    // outermost logical pixel, so that it covers exactly the overlap with its neighbour and
    // neighbouring borders fall on one another as one line at every scale.
    auto x = [&](int logical) {
        return int(std::lround(corner.x() + logical * scale)) - snapped.x();
    };
    auto y = [&](int logical) {
        return int(std::lround(corner.y() + logical * scale)) - snapped.y();
    };
    const QRect cell(0, 0, x(width()), y(height()));
    const QRect area =
        m_border ? QRect(QPoint(x(1), y(1)), QPoint(x(width() - 1), y(height() - 1)) - QPoint(1, 1))
                 : cell;
    painter.drawImage(area.topLeft(), m_image, QRect(QPoint(), area.size()));
    if (m_border) {
        const QColor line = palette().color(QPalette::WindowText);
        painter.fillRect(QRect(0, 0, cell.width(), area.top()), line);
        painter.fillRect(QRect(0, area.bottom() + 1, cell.width(), cell.bottom() - area.bottom()),
                         line);
        painter.fillRect(QRect(0, area.top(), area.left(), area.height()), line);
        painter.fillRect(
            QRect(area.right() + 1, area.top(), cell.right() - area.right(), area.height()), line);
    }
    if (m_marked) {
        // Dashes of black and white show on every gray.
        const int width = std::max(1, int(scale));
        painter.setPen(QPen(Qt::white, width));
        painter.drawRect(cell.adjusted(width / 2, width / 2, -width, -width));
        painter.setPen(QPen(Qt::black, width, Qt::DashLine));
        painter.drawRect(cell.adjusted(width / 2, width / 2, -width, -width));
    }
}

void PictureCell::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
}

void PictureCell::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_pressed = false;
    if (click)
        emit clicked();
}

void PictureCell::mouseDoubleClickEvent(QMouseEvent *)
{
    // The second press of a double click is no click of its own.
    m_pressed = false;
}
