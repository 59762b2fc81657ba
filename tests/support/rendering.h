#pragma once

#include "fonttable/fonttable.h"

#include <QRgb>

class PictureCell;
class QImage;
class QPoint;
class QRect;

namespace testsupport
{

inline QRgb gray(quint8 level)
{
    return qRgb(level, level, level);
}

// Checks every device pixel of a borderless table cell at scale 1: each pixel of the glyph a
// 3 x 3 square in the gray of its byte, with lanes of the cell's background around them.
// Fails the running test at the first wrong pixel.
void verifyGlyphCell(PictureCell *cell, const fonttable::FontTable &table, int glyph);

// The rectangle of the given colour around a starting pixel, found along that pixel's row and
// column; an invalid rectangle when the start has another colour or the rectangle holds any other.
QRect sameColourArea(const QImage &image, QPoint seed, QRgb colour);

} // namespace testsupport
