#include "mainwindow/units.h"

namespace units
{

int pixels(int twips, qreal scale)
{
    return int(std::lround(twips * scale / TwipsPerPixel));
}

QRect layoutRect(int left, int top, int width, int height)
{
    const int x = pixels(left);
    const int y = pixels(top);
    return QRect(x, y, pixels(left + width) - x, pixels(top + height) - y);
}

QRect cornersRect(int x1, int y1, int x2, int y2, qreal scale)
{
    const QPoint topLeft(pixels(x1, scale), pixels(y1, scale));
    return QRect(topLeft, QPoint(pixels(x2, scale), pixels(y2, scale)) - QPoint(1, 1));
}

QFont designFont(QFont base)
{
    base.setPixelSize(11);
    return base;
}

} // namespace units
