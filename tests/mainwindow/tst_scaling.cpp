#include "mainwindow/picturecell.h"

#include "support/archive.h"
#include "support/rendering.h"
#include "support/windowfixture.h"

#include <QScrollBar>
#include <QTest>

#include <set>

using namespace fonttable;
using testsupport::gray;

// Runs once for each scale factor that CTest sets in QT_SCALE_FACTOR.
class TestScaling : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { m_f.reset(); }

    void windowKeepsItsProportions();
    void tableSquaresAreSharpAndEqual();
    void editorCellsHoldOneColour();

private:
    // Where a point of a control lies in the window's device pixels.
    QPointF devicePoint(const QWidget *widget, QPointF logical) const
    {
        return (QPointF(widget->mapTo(m_f->window(), QPoint())) + logical) * m_scale;
    }
    QImage shot() const
    {
        return m_f->window()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    std::unique_ptr<testsupport::WindowFixture> m_f;
    FontTable m_table;
    qreal m_scale = 1;
};

void TestScaling::init()
{
    m_scale = qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
                  ? qEnvironmentVariable("QT_SCALE_FACTOR").toDouble()
                  : 1.0;
    m_f = std::make_unique<testsupport::WindowFixture>();
    QCOMPARE(m_f->window()->devicePixelRatioF(), m_scale);
    // Neighbouring squares always differ, and none has the gray of the lanes or of the window.
    for (int position = 1; position <= TableSize; ++position)
        m_table.setByte(position, quint8(16 + position * 37 % 200));
    testsupport::createArchive(m_f->archive(), m_table);
    m_f->choose("Read");
    QVERIFY(m_f->state().TableLoaded);
}

void TestScaling::windowKeepsItsProportions()
{
    const QImage image = shot();
    QVERIFY(qAbs(image.width() - m_f->window()->width() * m_scale) <= 1);
    QVERIFY(qAbs(image.height() - m_f->window()->height() * m_scale) <= 1);
    QCOMPARE(m_f->window()->centralWidget()->size(), QSize(728, 419));
    const QPointF last = devicePoint(m_f->viewer(96), {});
    const QPointF first = devicePoint(m_f->viewer(1), {});
    QCOMPARE((last - first) / m_scale, QPointF(15 * 33, 5 * 65));
}

void TestScaling::tableSquaresAreSharpAndEqual()
{
    const QImage image = shot();
    const QRgb lane = m_f->viewer(1)->background().rgb();
    std::set<int> widths, heights;
    for (int g = 1; g <= GlyphCount; ++g) {
        for (int k = 1; k <= PixelsPerGlyph; ++k) {
            const QRgb colour = gray(m_table.byte(pixelPosition(g, k)));
            // Twips to logical pixels: the square's middle lies 20 twips into it.
            const QPoint seed =
                devicePoint(m_f->viewer(g),
                            QPointF(60 * pixelColumn(k) + 20, 60 * pixelRow(k) + 20) / 15)
                    .toPoint();
            const QRect area = testsupport::sameColourArea(image, seed, colour);
            if (!area.isValid())
                QFAIL(qPrintable(
                    QStringLiteral("glyph %1 pixel %2 is not one colour").arg(g).arg(k)));
            const int left = area.left(), right = area.right();
            const int top = area.top(), bottom = area.bottom();
            // Lanes of the background between squares, with no blended pixel between; the
            // glyph's left and top edges meet the cell's edge instead.
            for (int y = top; y <= bottom; ++y) {
                QVERIFY2(image.pixel(right + 1, y) == lane,
                         qPrintable(QStringLiteral("glyph %1 pixel %2 at (%3, %4): %5")
                                        .arg(g)
                                        .arg(k)
                                        .arg(right + 1)
                                        .arg(y)
                                        .arg(image.pixel(right + 1, y), 0, 16)));
                QVERIFY(pixelColumn(k) == 0 || image.pixel(left - 1, y) == lane);
            }
            for (int x = left; x <= right; ++x) {
                QVERIFY(image.pixel(x, bottom + 1) == lane);
                QVERIFY(pixelRow(k) == 0 || image.pixel(x, top - 1) == lane);
            }
            widths.insert(right - left + 1);
            heights.insert(bottom - top + 1);
        }
    }
    QCOMPARE(widths.size(), size_t(1));
    QCOMPARE(heights.size(), size_t(1));
    QCOMPARE(*widths.begin(), *heights.begin());
    QVERIFY(qAbs(*widths.begin() - 40 * m_scale / 15) < 1);
}

void TestScaling::editorCellsHoldOneColour()
{
    QTest::mouseClick(m_f->viewer(17), Qt::LeftButton);
    const std::set<int> painted = {1, 9, 64, 128};
    for (int k : painted)
        QTest::mouseClick(m_f->editor(k), Qt::LeftButton);
    const QImage image = shot();
    const QRgb border = qRgb(0, 0, 0);
    for (int k = 1; k <= PixelsPerGlyph; ++k) {
        const QRgb colour = painted.count(k) ? gray(255) : gray(m_table.byte(pixelPosition(17, k)));
        const QRect area = testsupport::sameColourArea(
            image, devicePoint(m_f->editor(k), QPointF(10, 10)).toPoint(), colour);
        QVERIFY2(area.isValid(), qPrintable(QStringLiteral("editor cell %1").arg(k)));
        // One colour straight up to the grid lines, with no blended pixel between.
        for (int y = area.top(); y <= area.bottom(); ++y)
            QVERIFY(image.pixel(area.left() - 1, y) == border &&
                    image.pixel(area.right() + 1, y) == border);
        for (int x = area.left(); x <= area.right(); ++x)
            QVERIFY(image.pixel(x, area.top() - 1) == border &&
                    image.pixel(x, area.bottom() + 1) == border);
        // Neighbours overlap by a logical pixel; the rest, inside the border, is the colour.
        const int least = qFloor(18 * m_scale) - 1;
        QVERIFY2(area.width() >= least && area.height() >= least,
                 qPrintable(QStringLiteral("editor cell %1: %2 x %3")
                                .arg(k)
                                .arg(area.width())
                                .arg(area.height())));
    }
}

QTEST_MAIN(TestScaling)
#include "tst_scaling.moc"
