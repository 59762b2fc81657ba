#include "mainwindow/picturecell.h"
#include "mainwindow/pixeleditor.h"

#include "support/archive.h"
#include "support/messagecatcher.h"
#include "support/rendering.h"
#include "support/windowfixture.h"

#include <QAccessible>
#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

using namespace fonttable;
using testsupport::gray;
using testsupport::MessageCatcher;
using testsupport::Snapshot;

namespace
{

const QString ReadFirst = QStringLiteral("Please read san11res.bin first.");
const QString SelectFirst =
    QStringLiteral("Please select a Character from the Viewer Table first.");

void click(QWidget *widget, QPoint at = {})
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, at.isNull() ? widget->rect().center() : at);
}

QRgb centre(QWidget *widget)
{
    const QImage image = widget->grab().toImage();
    return image.pixel(image.rect().center());
}

} // namespace

class TestPixelEditor : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { m_f.reset(); }

    void oneEditReachesExactlyOneByteOfTheArchive();
    void checksComeInTheirOrderAndPickModeOutlastsThem();
    void pickTakesThePixelsLevel_data();
    void pickTakesThePixelsLevel();
    void doubleClickActsOnce();
    void paintShowsInTheCellAndInTheTable();
    void loadingAGlyphReplacesThePaint();
    void penFollowsTheScrollBar();
    void editorGridlines();
    void screenReadersFollowTheEdits();

private:
    void readPattern();
    void setPen(int level);
    void clickPixel(int pixel) { click(m_f->editor(pixel)); }
    void clickGlyph(int glyph) { click(m_f->viewer(glyph)); }
    int pen() const { return m_bar->value(); }
    QString penNumber() const { return m_f->control<QLabel>("PenNumber")->text(); }
    QRgb swatch() const { return centre(m_f->control<QWidget>("PenPictureBox")); }

    std::unique_ptr<testsupport::WindowFixture> m_f;
    QScrollBar *m_bar = nullptr;
};

void TestPixelEditor::init()
{
    m_f = std::make_unique<testsupport::WindowFixture>();
    m_bar = m_f->control<QScrollBar>("HScroll1");
}

void TestPixelEditor::readPattern()
{
    testsupport::createArchive(m_f->archive(), testsupport::patternTable());
    m_f->choose("Read");
    QVERIFY(m_f->state().TableLoaded);
}

// Moves the pen as a user does: clicks in the trough for steps of 16, on the arrows for 1.
void TestPixelEditor::setPen(int level)
{
    const int y = m_bar->height() / 2;
    const QPoint leftArrow(3, y), rightArrow(m_bar->width() - 4, y);
    const QPoint leftTrough(m_bar->height() + 2, y),
        rightTrough(m_bar->width() - m_bar->height() - 3, y);
    for (int guard = 0; pen() != level && guard < 300; ++guard) {
        const int before = pen();
        const bool down = level < before;
        // A trough click lands on the slider itself once it has come near the end.
        if (std::abs(level - before) >= 16)
            click(m_bar, down ? leftTrough : rightTrough);
        if (pen() == before)
            click(m_bar, down ? leftArrow : rightArrow);
    }
    QCOMPARE(pen(), level);
}

void TestPixelEditor::oneEditReachesExactlyOneByteOfTheArchive()
{
    testsupport::createArchive(m_f->archive(), testsupport::patternTable());
    const Snapshot before = Snapshot::of(m_f->archive());
    MessageCatcher messages;

    m_f->choose("Read");
    clickGlyph(17);
    setPen(128);
    clickPixel(9);
    QCOMPARE(m_f->state().FontTable.byte(2177), quint8(128));
    m_f->choose("Save");

    QVERIFY2(messages.texts().isEmpty(), qPrintable(messages.texts().join('\n')));
    QVERIFY(Snapshot::of(m_f->archive()) == before.with(TableOffset + 2176, 128));
}

void TestPixelEditor::checksComeInTheirOrderAndPickModeOutlastsThem()
{
    testsupport::createArchive(m_f->archive(), testsupport::patternTable());
    MessageCatcher messages;
    clickGlyph(5);
    QCOMPARE(messages.texts(), QStringList{ReadFirst});
    QCOMPARE(m_f->state().SelectedGlyph, 0);

    click(m_f->control<QPushButton>("PickColor"));
    QVERIFY(m_f->state().PickMode);
    for (int k : {1, 64, 128})
        QCOMPARE(m_f->editor(k)->cursor().shape(), Qt::WhatsThisCursor);
    clickPixel(1); // stopped by the first check
    QCOMPARE(messages.texts().last(), ReadFirst);
    m_f->choose("Read");
    clickPixel(1); // stopped by the second check
    QCOMPARE(messages.texts().last(), SelectFirst);
    clickGlyph(3);
    m_f->choose("Save");
    m_f->choose("Read");
    QVERIFY(m_f->state().PickMode);
    QCOMPARE(messages.texts(), (QStringList{ReadFirst, ReadFirst, SelectFirst}));
    QCOMPARE(m_f->state().SelectedPixel, 0);

    // Now the click picks, paints nothing and gives the pointer back.
    clickPixel(2);
    QVERIFY(!m_f->state().PickMode);
    QVERIFY(m_f->state().FontTable == testsupport::patternTable());
    QCOMPARE(pen(), int(testsupport::patternTable().byte(pixelPosition(3, 2))));
    for (int k : {1, 2, 128})
        QCOMPARE(m_f->editor(k)->cursor().shape(), Qt::ArrowCursor);
}

void TestPixelEditor::pickTakesThePixelsLevel_data()
{
    QTest::addColumn<QString>("start");
    QTest::newRow("pen at another level") << "other";
    QTest::newRow("pen at the pixel's level") << "same";
    QTest::newRow("pixel painted since its glyph was loaded") << "painted";
}

void TestPixelEditor::pickTakesThePixelsLevel()
{
    QFETCH(QString, start);
    readPattern();
    clickGlyph(40);
    int level = testsupport::patternTable().byte(pixelPosition(40, 77));
    QVERIFY(level != 255);
    if (start == QLatin1String("same"))
        setPen(level);
    if (start == QLatin1String("painted")) {
        // The eyedropper takes what the cell shows now, not the level loaded with the glyph.
        level = 128;
        setPen(level);
        clickPixel(77);
        setPen(200);
    }
    const FontTable table = m_f->state().FontTable;

    QSignalSpy changes(m_bar, &QScrollBar::valueChanged);
    click(m_f->control<QPushButton>("PickColor"));
    clickPixel(77);
    QCOMPARE(changes.count(), start == QLatin1String("same") ? 0 : 1);
    QCOMPARE(pen(), level);
    QCOMPARE(penNumber(), QString::number(level));
    QCOMPARE(m_f->state().PenColor, grayColor(quint8(level)));
    QCOMPARE(swatch(), gray(quint8(level)));
    QVERIFY(!m_f->state().PickMode);
    QVERIFY(m_f->state().FontTable == table);
}

void TestPixelEditor::doubleClickActsOnce()
{
    readPattern();
    clickGlyph(2);
    auto *editor = m_f->window()->findChild<PixelEditor *>();
    QSignalSpy clicks(editor, &PixelEditor::cellClicked);

    // As X11 reports it: press, release, a second press reported as a double click, release.
    // In pick mode the first click picks and the second press paints nothing.
    auto doubleClick = [](QWidget *cell) {
        click(cell);
        QTest::mouseDClick(cell, Qt::LeftButton);
        QTest::mouseRelease(cell, Qt::LeftButton);
    };
    click(m_f->control<QPushButton>("PickColor"));
    doubleClick(m_f->editor(5));
    QCOMPARE(clicks.count(), 1);
    QVERIFY(!m_f->state().PickMode);
    QVERIFY(m_f->state().FontTable == testsupport::patternTable());
    QCOMPARE(m_f->state().SelectedPixel, 0);
    QCOMPARE(pen(), int(testsupport::patternTable().byte(pixelPosition(2, 5))));

    doubleClick(m_f->editor(6));
    QCOMPARE(clicks.count(), 2);
    QCOMPARE(m_f->state().SelectedPixel, 6);
}

void TestPixelEditor::paintShowsInTheCellAndInTheTable()
{
    readPattern();
    clickGlyph(17);
    setPen(128);
    for (int k : {1, 8, 9, 128})
        clickPixel(k);
    QCOMPARE(m_f->state().SelectedPixel, 128);

    // The whole drawing area inside the border, and nothing else of the editor.
    const QImage cell = m_f->editor(9)->grab().toImage();
    for (int y = 0; y < cell.height(); ++y)
        for (int x = 0; x < cell.width(); ++x) {
            const bool border = x == 0 || y == 0 || x == cell.width() - 1 || y == cell.height() - 1;
            QCOMPARE(cell.pixel(x, y), border ? qRgb(0, 0, 0) : gray(128));
        }
    const int level10 = testsupport::patternTable().byte(pixelPosition(17, 10));
    QCOMPARE(centre(m_f->editor(10)), gray(quint8(level10)));

    FontTable expected = testsupport::patternTable();
    for (int k : {1, 8, 9, 128})
        expected.setByte(pixelPosition(17, k), 128);
    QVERIFY(m_f->state().FontTable == expected);
    for (int g : {1, 16, 17, 18, 33})
        testsupport::verifyGlyphCell(m_f->viewer(g), expected, g);
}

void TestPixelEditor::loadingAGlyphReplacesThePaint()
{
    readPattern();
    clickGlyph(17);
    setPen(0);
    clickPixel(9);

    clickGlyph(18);
    const int level = testsupport::patternTable().byte(pixelPosition(18, 9));
    QCOMPARE(m_f->editor(9)->background().rgb(), gray(quint8(level)));
    QCOMPARE(centre(m_f->editor(9)), gray(quint8(level)));

    clickGlyph(17);
    QCOMPARE(m_f->editor(9)->background().rgb(), gray(0));
    QCOMPARE(m_f->state().PixelValues[8], 0);
    for (int k = 1; k <= PixelsPerGlyph; ++k)
        QCOMPARE(centre(m_f->editor(k)), gray(m_f->state().FontTable.byte(pixelPosition(17, k))));
}

void TestPixelEditor::penFollowsTheScrollBar()
{
    m_bar->setFocus();
    QTest::keyClick(m_bar, Qt::Key_Home);
    QCOMPARE(penNumber(), QStringLiteral("0"));
    QCOMPARE(swatch(), gray(0));
    QCOMPARE(m_f->state().PenColor, grayColor(0));

    QTest::keyClick(m_bar, Qt::Key_End);
    QCOMPARE(penNumber(), QStringLiteral("255"));
    QCOMPARE(swatch(), gray(255));
    QCOMPARE(m_f->state().PenColor, grayColor(255));

    click(m_bar, QPoint(3, m_bar->height() / 2)); // the left arrow
    QCOMPARE(pen(), 254);
    QCOMPARE(penNumber(), QStringLiteral("254"));
    QCOMPARE(swatch(), gray(254));
}

void TestPixelEditor::editorGridlines()
{
    QAction *sgEditor = m_f->item("SGEditor");
    readPattern();
    QVERIFY(!sgEditor->isEnabled());
    clickGlyph(1);
    QVERIFY(sgEditor->isEnabled());
    QVERIFY(sgEditor->isChecked());
    QVERIFY(m_f->editor(1)->hasBorder());

    sgEditor->trigger();
    QVERIFY(!sgEditor->isChecked());
    for (int k = 1; k <= PixelsPerGlyph; ++k)
        QVERIFY(!m_f->editor(k)->hasBorder());
    sgEditor->trigger();
    QVERIFY(sgEditor->isChecked());
    QVERIFY(m_f->editor(128)->hasBorder());
}

void TestPixelEditor::screenReadersFollowTheEdits()
{
    auto accessible = [](QWidget *widget) {
        return QAccessible::queryAccessibleInterface(widget);
    };
    auto name = [&](QWidget *widget) {
        return accessible(widget)->text(QAccessible::Name);
    };
    auto description = [&](QWidget *widget) {
        return accessible(widget)->text(QAccessible::Description);
    };

    QCOMPARE(name(m_f->viewer(17)), QStringLiteral("Glyph 17"));
    QVERIFY(description(m_f->viewer(17)).startsWith(QLatin1String("Row 2, column 1")));
    QCOMPARE(accessible(m_f->viewer(17))->role(), QAccessible::Button);
    QCOMPARE(name(m_f->editor(9)), QStringLiteral("Pixel 9"));
    QVERIFY(description(m_f->editor(9)).startsWith(QLatin1String("Row 2, column 1")));
    QCOMPARE(name(m_bar), QStringLiteral("Pen level"));
    QVERIFY(!description(m_bar).isEmpty());
    QCOMPARE(accessible(m_bar)->valueInterface()->currentValue().toInt(), 255);
    auto *pick = m_f->control<QPushButton>("PickColor");
    QCOMPARE(name(pick), QStringLiteral("Pick Color"));
    QVERIFY(!description(pick).isEmpty());

    readPattern();
    // A screen reader's press loads the glyph as a click does.
    accessible(m_f->viewer(17))
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(m_f->state().SelectedGlyph, 17);
    const int level = testsupport::patternTable().byte(2177);
    QCOMPARE(name(m_f->editor(9)), QStringLiteral("Pixel 9, level %1").arg(level));

    setPen(128);
    QCOMPARE(accessible(m_bar)->valueInterface()->currentValue().toInt(), 128);
    clickPixel(9);
    QCOMPARE(name(m_f->editor(9)), QStringLiteral("Pixel 9, level 128"));

    click(pick);
    QVERIFY(description(m_f->editor(9)).contains(QLatin1String("take its level")));
    clickPixel(9);
    QVERIFY(description(m_f->editor(9)).contains(QLatin1String("paint")));
}

QTEST_MAIN(TestPixelEditor)
#include "tst_pixeleditor.moc"
