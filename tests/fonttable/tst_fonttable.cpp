#include "fonttable/fonttable.h"

#include <QTest>

#include <set>

using namespace fonttable;

class TestFontTable : public QObject
{
    Q_OBJECT

private slots:
    void glyphFirstBytes_data();
    void glyphFirstBytes();
    void pixelPositions_data();
    void pixelPositions();
    void everyPixelHasItsOwnByte();
    void blockEndsWhereTheArchiveMustReach();
    void grayLevels();
};

void TestFontTable::glyphFirstBytes_data()
{
    QTest::addColumn<int>("glyph");
    QTest::addColumn<int>("position");
    QTest::newRow("first glyph") << 1 << 1;
    QTest::newRow("second glyph") << 2 << 9;
    QTest::newRow("last of the first band") << 16 << 121;
    QTest::newRow("first of the second band") << 17 << 2049;
    QTest::newRow("last of the second band") << 32 << 2049 + 120;
    QTest::newRow("first of the last band") << 81 << 5 * 2048 + 1;
    QTest::newRow("last glyph") << 96 << 5 * 2048 + 121;
}

void TestFontTable::glyphFirstBytes()
{
    QFETCH(int, glyph);
    QFETCH(int, position);
    QCOMPARE(glyphFirstByte(glyph), position);
    QCOMPARE(pixelPosition(glyph, 1), position);
}

void TestFontTable::pixelPositions_data()
{
    QTest::addColumn<int>("glyph");
    QTest::addColumn<int>("pixel");
    QTest::addColumn<int>("position");
    QTest::newRow("end of the first pixel row") << 1 << 8 << 8;
    QTest::newRow("second pixel row steps a whole table row") << 1 << 9 << 129;
    QTest::newRow("last pixel of glyph 1") << 1 << 128 << 15 * 128 + 8;
    QTest::newRow("last pixel of the first band") << 16 << 128 << 2048;
    QTest::newRow("overview's edit of glyph 17") << 17 << 9 << 2177;
    QTest::newRow("last pixel of the table") << 96 << 128 << 12'288;
}

void TestFontTable::pixelPositions()
{
    QFETCH(int, glyph);
    QFETCH(int, pixel);
    QFETCH(int, position);
    QCOMPARE(pixelPosition(glyph, pixel), position);
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

void TestFontTable::blockEndsWhereTheArchiveMustReach()
{
    QCOMPARE(TableOffset, Q_INT64_C(0x1F505957));
    QCOMPARE(MinimumArchiveSize, Q_INT64_C(525'359'447) + 12'288);
    FontTable table;
    table.setByte(1, 7);
    table.setByte(TableSize, 9);
    QCOMPARE(table.data()[0], quint8(7));
    QCOMPARE(table.data()[TableSize - 1], quint8(9));
}

void TestFontTable::grayLevels()
{
    QCOMPARE(grayColor(0), 0u);
    QCOMPARE(grayColor(128), 128u + 256u * 128u + 65'536u * 128u);
    QCOMPARE(grayColor(255), 0xFFFFFFu);
}

QTEST_APPLESS_MAIN(TestFontTable)
#include "tst_fonttable.moc"
