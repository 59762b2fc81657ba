#include "support/rendering.h"

#include "mainwindow/picturecell.h"

#include <QTest>

using namespace fonttable;

namespace testsupport
{

void verifyGlyphCell(PictureCell *cell, const FontTable &table, int glyph)
{
    const QImage image = cell->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(image.size(), QSize(34, 66));
    const QRgb background = cell->background().rgb();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const bool inSquare = x < 32 && y < 64 && x % 4 != 3 && y % 4 != 3;
            const QRgb expected =
                inSquare ? gray(table.byte(pixelPosition(glyph, (y / 4) * 8 + x / 4 + 1)))
                         : background;
            if (image.pixel(x, y) != expected)
                QFAIL(qPrintable(QStringLiteral("glyph %1, pixel (%2, %3): %4 instead of %5")
                                     .arg(glyph)
                                     .arg(x)
                                     .arg(y)
                                     .arg(image.pixel(x, y), 0, 16)
                                     .arg(expected, 0, 16)));
        }
    }
}

QRect sameColourArea(const QImage &image, QPoint seed, QRgb colour)
{
    if (image.pixel(seed) != colour)
        return {};
    auto same = [&](int x, int y) {
        return image.valid(x, y) && image.pixel(x, y) == colour;
    };
    int left = seed.x(), right = seed.x(), top = seed.y(), bottom = seed.y();
    while (same(left - 1, seed.y()))
        --left;
    while (same(right + 1, seed.y()))
        ++right;
    while (same(seed.x(), top - 1))
        --top;
    while (same(seed.x(), bottom + 1))
        ++bottom;
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x)
            if (!same(x, y))
                return {};
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace testsupport
