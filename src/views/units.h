#pragma once

#include "fonttable/fonttable.h"

#include <QColor>
#include <QFont>
#include <QRect>

// The window is designed in twips, 1/1440 inch: 15 twips make one pixel at 96 dots per inch.
// Every twip coordinate becomes pixels here and nowhere else.
namespace units
{

inline constexpr int TwipsPerPixel = 15;

// Pixels at the given scale (device pixels per logical pixel), rounded to the nearest pixel.
int pixels(int twips, qreal scale = 1.0);

// A control's place in logical pixels from its left, top, width and height in twips.
QRect layoutRect(int left, int top, int width, int height);

// The device pixels a rectangle with corners (x1, y1) and (x2, y2) in twips covers at the given
// scale. Each corner is rounded to a whole pixel of the 96-dpi design, then to a device pixel,
// so every scale shows the 96-dpi drawing enlarged: a repainted square covers its table square
// exactly, and squares and lanes keep their proportions as closely as device pixels allow.
QRect cornersRect(int x1, int y1, int x2, int y2, qreal scale);

// The layout is designed around an 8-point dialog font, 11 pixels high at 96 dots per inch;
// text in the designed label sizes needs a font that small.
QFont designFont(QFont base);

inline QRgb rgb(fonttable::PackedColor packed)
{
    return qRgb(packed & 0xff, (packed >> 8) & 0xff, (packed >> 16) & 0xff);
}

inline QColor color(fonttable::PackedColor packed)
{
    return QColor(rgb(packed));
}

} // namespace units
