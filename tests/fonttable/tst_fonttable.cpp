#include "fonttable/fonttable.h"

#include <QTest>

#include <set>

using namespace fonttable;

class TestFontTable : public QObject
{
    Q_OBJECT

private slots:
    void pixelPositions_data();
    void pixelPositions();
    void everyPixelHasItsOwnByte();
};

void TestFontTable::pixelPositions_data()
{
    QTest::addColumn<int>("glyph");
    QTest::addColumn<int>("pixel");
    QTest::addColumn<int>("position");
    QTest::newRow("glyph 1 starts the table") << 1 << 1 << 1;
    QTest::newRow("end of the first pixel row") << 1 << 8 << 8;
    QTest::newRow("the second pixel row is a table row on") << 1 << 9 << 129;
    QTest::newRow("glyph 2 starts 8 bytes on") << 2 << 1 << 9;
    QTest::newRow("glyph 16 starts the band's last column") << 16 << 1 << 121;
    QTest::newRow("glyph 16 ends the first band") << 16 << 128 << 2048;
    QTest::newRow("glyph 17 starts the second band") << 17 << 1 << 2049;
    QTest::newRow("pixel 9 of glyph 17") << 17 << 9 << 2177;
    QTest::newRow("glyph 32 starts the second band's last column") << 32 << 1 << 2169;
    QTest::newRow("glyph 81 starts the last band") << 81 << 1 << 10'241;
    QTest::newRow("glyph 96 ends the table") << 96 << 128 << 12'288;
}

void TestFontTable::pixelPositions()
{
    QFETCH(int, glyph);
    QFETCH(int, pixel);
    QFETCH(int, position);
    QCOMPARE(pixelPosition(glyph, pixel), position);
    if (pixel == 1)
        QCOMPARE(glyphFirstByte(glyph), position);
}

void TestFontTable::everyPixelHasItsOwnByte()
{
    // The 96 x 128 pixels cover the block exactly once: no overlap and no byte left out.
    std::set<int> positions;
    for (int g = 1; g <= GlyphCount; ++g)
        for (int k = 1; k <= PixelsPerGlyph; ++k)
            positions.insert(pixelPosition(g, k));
    QCOMPARE(int(positions.size()), TableSize);
    QCOMPARE(*positions.begin(), 1);
    QCOMPARE(*positions.rbegin(), TableSize);
}

QTEST_APPLESS_MAIN(TestFontTable)
#include "tst_fonttable.moc"
