#include "editor/fonteditor.h"

#include "support/support.h"

#include <QColorSpace>
#include <QTest>

using namespace testsupport;

// The editing rules, without a window.
class TestFontEditor : public QObject
{
    Q_OBJECT

private slots:
    void theGamesFontTable();
    void imageAsGlyph_data();
    void imageAsGlyph();
    void randomRules();
};

// Where the game keeps its font, written and read with plain file calls at literal offsets.
void TestFontEditor::theGamesFontTable()
{
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath("san11res.bin"));
    QByteArray block(12'288, '\0');
    for (int i = 0; i < block.size(); ++i)
        block[i] = char(i * 7 + 3);
    QFile file(dir.filePath("san11res.bin"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(525'359'447 + 12'288 + 1));
    QVERIFY(file.seek(525'359'447) && file.write(block) == 12'288);
    file.close();

    FontEditor editor(Folder(QFile::encodeName(dir.path())));
    QVERIFY(editor.read().ok() && editor.loadGlyph(17).ok());
    QCOMPARE(editor.state().PixelValues[9 - 1], qint16(quint8(block[2'177 - 1])));
    editor.setPenLevel(quint8(~block[2'177 - 1]));
    QVERIFY(editor.clickPixel(9).painted);
    QVERIFY(editor.save().ok());
    block[2'177 - 1] = char(~block[2'177 - 1]);
    QCOMPARE(readAt(path, 525'359'447, 12'289), block + '\0');
}

// An image from the clipboard is a glyph only as 8 x 16 opaque grays whose numbers are the
// grays shown on a screen, each pixel's level its gray rounded to 8 bits; otherwise it says why.
void TestFontEditor::imageAsGlyph_data()
{
    using P = FontEditor::ImageProblem;
    QTest::addColumn<QImage>("image");
    QTest::addColumn<int>("problem");
    QTest::addColumn<int>("level"); // of the pixel at (3, 5), the rest being (x + 16 * y) % 256
    // An image of grays with another pixel at (3, 5), stored as it is also at 16 bits, where a
    // colour would be rounded to 8 bits on its way.
    auto image = [](QImage::Format format, QRgba64 odd, QColorSpace space = QColorSpace::SRgb,
                    QSize size = {8, 16}) {
        QImage made(size, format);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                made.setPixelColor(
                    x, y,
                    QColor::fromRgb((x + 16 * y) % 256, (x + 16 * y) % 256, (x + 16 * y) % 256));
        made.setPixelColor(3, 5, QColor(odd));
        if (format == QImage::Format_Grayscale16)
            reinterpret_cast<quint16 *>(made.scanLine(5))[3] = odd.red();
        made.setColorSpace(space);
        return made;
    };
    auto gray = [](quint16 v, quint16 a = 0xffff) {
        return QRgba64::fromRgba64(v, v, v, a);
    };
    const auto G8 = QImage::Format_Grayscale8, G16 = QImage::Format_Grayscale16,
               RGB = QImage::Format_RGB32, ARGB = QImage::Format_ARGB32;
    QTest::newRow("8-bit gray") << image(G8, gray(77 * 257)) << int(P::None) << 77;
    QTest::newRow("16-bit, rounded down") << image(G16, gray(32'896 + 128)) << int(P::None) << 128;
    QTest::newRow("16-bit, rounded up") << image(G16, gray(32'896 + 129)) << int(P::None) << 129;
    QTest::newRow("blue differs") << image(RGB, QRgba64::fromRgba(9, 9, 10, 255)) << int(P::NotGray)
                                  << 0;
    QTest::newRow("translucent") << image(ARGB, gray(0, 0xfefe)) << int(P::NotOpaque) << 0;
    QTest::newRow("transparent") << image(ARGB, gray(0, 0)) << int(P::NotOpaque) << 0;
    QTest::newRow("9 wide") << image(G8, gray(0), QColorSpace::SRgb, {9, 16}) << int(P::Size) << 0;
    QTest::newRow("15 high") << image(G8, gray(0), QColorSpace::SRgb, {8, 15}) << int(P::Size) << 0;
    QTest::newRow("linear light") << image(RGB, gray(0), QColorSpace::SRgbLinear)
                                  << int(P::ToneCurve) << 0;
    QTest::newRow("gamma 1.8") << image(RGB, gray(0), {QColorSpace::Primaries::SRgb, 1.8f})
                               << int(P::ToneCurve) << 0;
    QTest::newRow("gamma 2.2") << image(RGB, gray(77 * 257), {QColorSpace::Primaries::SRgb, 2.2f})
                               << int(P::None) << 77;
}

void TestFontEditor::imageAsGlyph()
{
    QFETCH(QImage, image);
    QFETCH(int, problem);
    QFETCH(int, level);
    FontEditor::ImageProblem why;
    const auto glyph = FontEditor::fromImage(image, why);
    QCOMPARE(int(why.what), problem);
    QCOMPARE(glyph.has_value(), problem == FontEditor::ImageProblem::None);
    QVERIFY(problem != why.Size || why.size == image.size());
    QVERIFY((problem != why.NotGray && problem != why.NotOpaque) || why.at == QPoint(3, 5));
    for (int k = 1; glyph && k <= 128; ++k) {
        const int x = (k - 1) % 8, y = (k - 1) / 8;
        QCOMPARE(int((*glyph)[k - 1]), x == 3 && y == 5 ? level : (x + 16 * y) % 256);
    }
}

// Random operations, each checked against the editor's own state before it.
void TestFontEditor::randomRules()
{
    using Refusal = FontEditor::Refusal;
    QTemporaryDir dir;
    const QByteArray archive = QFile::encodeName(dir.filePath(ResourceName));
    FontEditor editor(Folder(QFile::encodeName(dir.path())));
    const EditorState &state = editor.state();
    QRandomGenerator random(20'261'207);
    auto any = [&](int high) {
        return int(random.bounded(high));
    };
    bool replaced = false; // since the last Read
    // The table after each change since the last Read, with the glyph it changed: what undo and
    // redo must walk back and forth along.
    std::vector<std::pair<int, FontTable>> history{{0, {}}};
    size_t at = 0;
    auto changed = [&] {
        if (state.FontTable == history[at].second)
            return;
        history.resize(++at);
        history.push_back({state.SelectedGlyph, state.FontTable});
    };
    for (int n = 1; n <= 600 && !QTest::currentTestFailed(); ++n) {
        // The pixel editor shows the selected glyph as the table holds it, after every step.
        for (int k = 1; state.SelectedGlyph && k <= PixelsPerGlyph; ++k)
            QVERIFY2(state.PixelValues[k - 1] ==
                         state.FontTable.byte(pixelPosition(state.SelectedGlyph, k)),
                     qPrintable(QString("after step %1").arg(n - 1)));
        const EditorState before = state;
        const int glyph = any(GlyphCount) + 1, pixel = any(PixelsPerGlyph) + 1;
        const QString where = QString("step %1").arg(n);
        const FontEditor::Gridlines viewer = editor.viewerGridlines();
        const FontEditor::Gridlines pixels = editor.editorGridlines();
        Refusal refusal = !state.TableLoaded ? Refusal::NotRead : Refusal::None;
        // First an archive, a Read, a glyph and a click that changes nothing: nothing to undo.
        switch (n <= 4 ? std::array{0, 1, 3, 9}[n - 1] : any(12)) {
        case 0: // the archive made anew, so the next Read sees other bytes
            QFile::remove(QString::fromLocal8Bit(archive));
            createArchive(archive, makeTable(random.generate() | 1));
            replaced = true;
            continue;
        case 1: {
            const bool read = editor.read().ok();
            replaced = replaced && !read;
            QVERIFY2(read == QFile::exists(QString::fromLocal8Bit(archive)), qPrintable(where));
            QVERIFY(state.TableLoaded == (read || before.TableLoaded));
            QVERIFY(!read || Snapshot::of(archive) == Snapshot::archive(state.FontTable));
            // A Read over another table is a change to undo like any other; the first one starts.
            if (read && !before.TableLoaded)
                history = {{0, state.FontTable}}, at = 0;
            else if (read && state.FontTable != before.FontTable)
                history.resize(++at), history.push_back({FontEditor::WholeTable, state.FontTable});
            QVERIFY(read ? !editor.viewerGridlines().borders && editor.viewerGridlines().checked
                         : editor.viewerGridlines().borders == viewer.borders);
            QVERIFY(state.SelectedGlyph == before.SelectedGlyph &&
                    state.PickMode == before.PickMode);
            QVERIFY(read || state.PixelValues == before.PixelValues);
            continue;
        }
        case 2: { // refused when the archive is not the one read
            const Snapshot disk = Snapshot::of(archive);
            const FontEditor::Outcome saved = editor.save();
            QCOMPARE(saved.refusal, refusal);
            // The archive made anew since the Read is another file: never written over.
            QCOMPARE(saved.failure.what != Failure::None, refusal == Refusal::None && replaced);
            QCOMPARE(saved.failure.written, Failure::Nothing);
            QVERIFY(Snapshot::of(archive) ==
                    (saved.ok() ? Snapshot::archive(state.FontTable) : disk));
            break;
        }
        case 3:
            QCOMPARE(editor.loadGlyph(glyph).refusal, refusal);
            QCOMPARE(state.SelectedGlyph,
                     qint16(refusal == Refusal::None ? glyph : before.SelectedGlyph));
            for (int k = 1; refusal == Refusal::None && k <= PixelsPerGlyph; ++k)
                QCOMPARE(state.PixelValues[k - 1], state.FontTable.byte(pixelPosition(glyph, k)));
            QVERIFY(state.PickMode == before.PickMode && state.FontTable == before.FontTable);
            continue;
        case 4:
            editor.setPenLevel(any(256));
            QCOMPARE(state.PenColor, grayColor(quint8(editor.penLevel())));
            continue;
        case 5:
            editor.enterPickMode();
            QVERIFY(state.PickMode);
            continue;
        case 6:
            editor.toggleViewerGridlines();
            editor.toggleEditorGridlines();
            QVERIFY(editor.viewerGridlines().checked == (viewer.checked != viewer.enabled));
            QVERIFY(editor.viewerGridlines().borders == (viewer.borders != viewer.enabled));
            QVERIFY(editor.editorGridlines().checked == (pixels.checked != pixels.enabled));
            QCOMPARE(editor.editorGridlines().borders, editor.editorGridlines().checked);
            QCOMPARE(pixels.enabled, before.SelectedGlyph != 0);
            continue;
        case 7:
        case 8: { // undo or redo: the table as it was before or after that change
            const bool redo = any(2);
            const bool able = redo ? at + 1 < history.size() : at > 0;
            QCOMPARE(redo ? editor.canRedo() : editor.canUndo(), able);
            const int undone = redo ? editor.redo() : editor.undo();
            QCOMPARE(undone, able ? history[redo ? at + 1 : at].first : 0);
            at += able ? (redo ? 1 : -1) : 0;
            QVERIFY2(state.FontTable == history[at].second, qPrintable(where));
            QVERIFY(!able || state.SelectedGlyph == undone || undone == FontEditor::WholeTable);
            continue;
        }
        case 9: { // a stroke, or the glyph pasted over another as an image from the clipboard
            const auto copied = editor.copyGlyph();
            QCOMPARE(bool(copied), refusal == Refusal::None && state.SelectedGlyph);
            if (!copied || n == 4 || any(2)) {
                // Now and then a click that paints the level the pixel has: no change to undo.
                const bool same = copied && (n == 4 || any(3) == 0);
                if (same)
                    editor.setPenLevel(state.PixelValues[pixel - 1]);
                const bool painted = refusal == Refusal::None && editor.clickPixel(pixel).painted;
                for (int i = 0; painted && !same && i < 5; ++i)
                    editor.paint(any(PixelsPerGlyph) + 1);
                changed();
                QCOMPARE(editor.canUndo(), at > 0);
                continue;
            }
            FontEditor::ImageProblem why;
            QVERIFY(editor.loadGlyph(glyph).ok() &&
                    editor.pasteGlyph(*FontEditor::fromImage(FontEditor::image(*copied), why)));
            QVERIFY(editor.copyGlyph() == copied && state.SelectedGlyph == glyph);
            changed();
            QImage coloured = FontEditor::image(*copied).convertToFormat(QImage::Format_RGB32);
            coloured.setPixel(any(8), any(16), qRgb(1, 2, 3));
            QVERIFY(!FontEditor::fromImage(coloured, why) && why.what == why.NotGray);
            continue;
        }
        default: { // a click on a pixel; now and then a paint, then a pick of the same pixel
            const bool again = any(3) == 0;
            if (again)
                editor.endPickMode();
            const int level = editor.penLevel();
            const bool picking = state.PickMode;
            const FontEditor::PixelClick click = editor.clickPixel(pixel);
            if (refusal == Refusal::None && !state.SelectedGlyph)
                refusal = Refusal::NoGlyph;
            QCOMPARE(click.refusal, refusal);
            QCOMPARE(click.painted, refusal == Refusal::None && !picking);
            if (click.painted) {
                changed();
                FontTable painted = before.FontTable;
                painted.setByte(pixelPosition(state.SelectedGlyph, pixel), quint8(level));
                QVERIFY(state.FontTable == painted && state.SelectedPixel == pixel);
                QCOMPARE(state.PixelValues[pixel - 1], qint16(level));
                if (again) {
                    editor.setPenLevel(255 - level);
                    editor.enterPickMode();
                    QVERIFY(!editor.clickPixel(pixel).painted && !state.PickMode);
                    QCOMPARE(editor.penLevel(), level); // as painted, not as loaded
                }
            } else if (refusal == Refusal::None) { // a pick
                QCOMPARE(editor.penLevel(), int(before.PixelValues[pixel - 1]));
                QVERIFY(!state.PickMode && state.FontTable == before.FontTable);
            } else {
                QCOMPARE(state.PickMode, picking);
            }
            continue;
        }
        }
        QVERIFY2(state.FontTable == before.FontTable, qPrintable(where));
    }
}

QTEST_GUILESS_MAIN(TestFontEditor)
#include "tst_fonteditor.moc"
