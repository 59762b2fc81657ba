#include "views/units.h"

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
    // Whole pixels of the 96-dpi design first, so that every scale shows that design enlarged.
    auto device = [scale](int twips) {
        return int(std::lround(pixels(twips) * scale));
    };
    return QRect(QPoint(device(x1), device(y1)), QPoint(device(x2), device(y2)) - QPoint(1, 1));
}

QFont designFont(QFont base)
{
    base.setPixelSize(11);
    return base;
}

} // namespace units
