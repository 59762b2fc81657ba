#include "about/aboutwindow.h"
#include "mainwindow/glyphtableview.h"
#include "mainwindow/mainwindow.h"
#include "mainwindow/picturecell.h"
#include "mainwindow/pixeleditor.h"

#include "support/support.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextLayout>

using namespace fonttable;
using testsupport::Snapshot;

namespace
{

const QString ReadFirst = "Please read san11res.bin first.";
const QString SelectFirst = "Please select a Character from the Viewer Table first.";

QList<AboutWindow *> aboutWindows()
{
    QList<AboutWindow *> open;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *about = qobject_cast<AboutWindow *>(widget); about && about->isVisible())
            open << about;
    return open;
}

// What a user can see of the program, kept by hand alongside it.
struct Model {
    qint64 size = 0, readSize = 0; // the archive's length (0: none), and at the last Read
    bool stale = false;            // the archive was replaced since the last Read
    FontTable disk, table;         // the block in the archive, and in the program
    bool loaded = false;
    int glyph = 0, pixel = 0, pen = 255;
    std::array<int, PixelsPerGlyph> shown{}; // the levels the editor cells show
    bool pick = false, viewerBorders = true, viewerChecked = true, editorBorders = true;
    bool about = false;
    int exits = 0;
    QStringList messages;
    int marked[2] = {1, 1}; // the keyboard's marks in the table and the editor

    void clickGlyph(int g)
    {
        if (!loaded)
            messages << ReadFirst;
        for (int i = 1; loaded && i <= PixelsPerGlyph; ++i)
            shown[i - 1] = table.byte(pixelPosition(glyph = g, i));
    }
    // Whether the click painted, as the press of a stroke.
    bool clickPixel(int k)
    {
        if (!loaded || !glyph) {
            messages << (loaded ? SelectFirst : ReadFirst);
            return false;
        }
        if (pick) {
            pen = shown[k - 1];
            return pick = false;
        }
        paint(k);
        return true;
    }
    void paint(int k)
    {
        pixel = k;
        shown[k - 1] = pen;
        table.setByte(pixelPosition(glyph, k), quint8(pen));
    }
};

} // namespace

// Runs once for each scale factor that CTest sets in QT_SCALE_FACTOR.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void layoutAndTexts();
    void randomSessions();
    void programRunsUntilItsLastWindowCloses();

private:
    template <typename T = QWidget> T *control(const QString &name) const
    {
        return m_window->findChild<T *>(name);
    }
    PictureCell *viewer(int g) const { return control<PictureCell>(QString("Viewer(%1)").arg(g)); }
    PictureCell *editor(int k) const { return control<PictureCell>(QString("Editor(%1)").arg(k)); }
    QAction *item(const char *name) const { return control<QAction>(name); }
    void step(QRandomGenerator &random);
    void check(const QString &where);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MainWindow> m_window;
    bool m_failWrites = false;
    Model m;
    std::unique_ptr<testsupport::MessageCatcher> m_catcher;
    std::unique_ptr<QSignalSpy> m_exits;
    QRgb m_blank = 0; // the cells' background
};

void TestMainWindow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    FileCalls calls;
    calls.pwrite = [this](int fd, const void *buffer, size_t count, off_t at) -> ssize_t {
        return m_failWrites ? (errno = EIO, -1) : ::pwrite(fd, buffer, count, at);
    };
    m_window = std::make_unique<MainWindow>(Folder(QFile::encodeName(m_dir->path())), calls);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m = Model{};
    m_catcher = std::make_unique<testsupport::MessageCatcher>();
    m_exits = std::make_unique<QSignalSpy>(m_window.get(), &MainWindow::exitRequested);
    m_blank = viewer(1)->background().rgb();
}

void TestMainWindow::cleanup()
{
    for (AboutWindow *about : aboutWindows())
        delete about;
    m_exits.reset();
    m_window.reset();
}

void TestMainWindow::layoutAndTexts()
{
    item("About")->trigger();
    AboutWindow *about = aboutWindows().value(0);
    QVERIFY(about && !about->parentWidget() && !about->isModal());
    QCOMPARE(about->windowType(), Qt::Tool);
    auto find = [&](const char *name) {
        QObject *found = about->objectName() == name ? about : about->findChild<QObject *>(name);
        if (!found && m_window->objectName() == name)
            found = m_window.get();
        if (!found) // a menu's action before the menu itself
            found = m_window->findChild<QAction *>(name);
        return found ? found : m_window->findChild<QObject *>(name);
    };
    // Twips / 15 in the client areas; neighbouring cells overlap by a pixel.
    // clang-format off
    const std::pair<const char *, QRect> layout[] = {
        {"Viewer(1)", {16, 15, 34, 66}}, {"Viewer(2)", {49, 15, 34, 66}},
        {"Viewer(17)", {16, 80, 34, 66}}, {"Viewer(96)", {511, 340, 34, 66}},
        {"Editor(1)", {560, 15, 20, 20}}, {"Editor(128)", {693, 300, 20, 20}},
        {"PenPictureBox", {560, 344, 20, 20}}, {"HScroll1", {584, 344, 113, 20}},
        {"PenNumber", {704, 347, 20, 20}}, {"PickColor", {616, 373, 41, 33}},
        {"frmAbout", {0, 0, 403, 239}}, {"Image1", {24, 24, 32, 32}}, {"Label3", {80, 24, 267, 15}},
        {"Label2", {80, 48, 267, 15}}, {"lblDescription", {14, 75, 371, 86}},
        {"Label1", {72, 176, 267, 15}}, {"cmdOK", {160, 200, 84, 23}}};
    const std::tuple<const char *, const char *, QString> texts[] = {
        {"Form1", "windowTitle", "Tessora"}, {"frmAbout", "windowTitle", "About"},
        {"File", "text", "File"}, {"Read", "text", "Read"}, {"Save", "text", "Save"},
        {"Exit", "text", "Exit"}, {"View", "text", "View"}, {"About", "text", "About"},
        {"ShowGridlines", "text", "Show Gridlines"}, {"SGViewer", "text", "Viewer"},
        {"SGEditor", "text", "Editor"}, {"PenNumber", "text", "255"},
        {"PickColor", "toolTip", "Pick Color"}, {"cmdOK", "text", "OK"},
        {"PickColor", "accessibleName", "Pick Color"}, {"HScroll1", "accessibleName", "Pen level"},
        {"Viewer(17)", "accessibleName", "Glyph 17"}, {"Editor(9)", "accessibleName", "Pixel 9"},
        {"Viewer(16)", "accessibleDescription",
         "Row 1, column 16 of the font table; click to edit the glyph"},
        {"Label3", "text", "Tessora for Romance of the Three Kingdoms XI"},
        {"Label2", "text", "Version 2.0, by the Tessora developers"},
        {"lblDescription", "text", "How to use :" + QString(93, ' ') + "1.Copy this tool to "
         "C:\\Program Files\\Koei\\RTKXI\\Media\r\n 2.Run it and now you can edit the characters "
         "which are stored in san11res.bin 3.You have to save before exiting otherwise you will "
         "lose your work\r\nNotes :  It is wise to make a backup from san11res.bin before using "
         "this tool" + QString(19, ' ') + "Use this tool at your own risk. There are a lot of bugs in it!"}};
    // clang-format on
    QCOMPARE(m_window->centralWidget()->size(), QSize(728, 419));
    for (const auto &[name, at] : layout) {
        auto *widget = qobject_cast<QWidget *>(find(name));
        QWidget *client = widget->window() == about ? about : m_window->centralWidget();
        QVERIFY2(widget->minimumSize() == widget->maximumSize() || widget != widget->window(),
                 name);
        QCOMPARE(QRect(widget->mapTo(client, QPoint()), widget->size()), at);
    }
    for (const auto &[name, property, text] : texts)
        QCOMPARE(find(name)->property(property).toString(), text);
    for (QAction *action : m_window->findChildren<QAction *>()) {
        const bool gridlines = action->objectName().startsWith("SG");
        QVERIFY(action->shortcut().isEmpty() && !action->text().contains('&'));
        QVERIFY(action->isEnabled() != gridlines && action->isChecked() == gridlines);
    }
    QVERIFY(!item("About")->menu() && about->findChild<QPushButton *>()->isDefault());
    QVERIFY(!(m_window->windowFlags() & Qt::WindowMinMaxButtonsHint));
    QCOMPARE(std::get<2>(texts[std::size(texts) - 1]).size(), 466);

    // The usage note wraps where its blanks intend, in seven lines inside its label, laid out
    // as the label lays out plain text.
    auto *label = about->findChild<QLabel *>("lblDescription");
    QString text = label->text().replace('\r', ' ').replace('\n', QChar::LineSeparator);
    QTextLayout note(text, label->font());
    note.setTextOption(QTextOption(Qt::AlignLeft)); // wrapping at words
    QStringList lines;
    qreal height = 0;
    note.beginLayout();
    for (QTextLine line = note.createLine(); line.isValid(); line = note.createLine()) {
        line.setLineWidth(label->width());
        height += line.height();
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    note.endLayout();
    QCOMPARE(lines.size(), 7);
    QCOMPARE(lines[0], "How to use :");
    QCOMPARE(lines[1], "1.Copy this tool to C:\\Program Files\\Koei\\RTKXI\\Media");
    QVERIFY(lines[2].startsWith("2.Run it") && lines[3].contains("3.You have to save"));
    QVERIFY(lines[4].endsWith("work") && lines[4].size() < 10);
    QCOMPARE(lines[5],
             "Notes :  It is wise to make a backup from san11res.bin before using this tool");
    QCOMPARE(lines[6], "Use this tool at your own risk. There are a lot of bugs in it!");
    QVERIFY(height <= label->height());
    QCOMPARE(about->windowIcon().pixmap(16).toImage(), m_window->windowIcon().pixmap(16).toImage());

    // Tab walks the table, the editor, the pen and the eyedropper; nothing is marked at start.
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QCOMPARE(QApplication::focusWidget(), m_window.get());
    for (QWidget *next : {static_cast<QWidget *>(m_window->findChild<GlyphTableView *>()),
                          static_cast<QWidget *>(m_window->findChild<PixelEditor *>()),
                          control("HScroll1"), control("PickColor")}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), next);
    }

    // A 16 x 16 icon, a 26 x 26 eyedropper on a transparent ground, a 32 x 32 picture.
    QVERIFY(m_window->windowIcon().availableSizes().contains(QSize(16, 16)));
    const QImage eyedropper = control<QPushButton>("PickColor")->icon().pixmap(26).toImage();
    QVERIFY(qAlpha(eyedropper.pixel(0, 0)) == 0 && eyedropper.pixel(1, 24) == qRgb(0, 0, 0));
    QCOMPARE(about->findChild<QLabel *>("Image1")->pixmap().size(), QSize(32, 32));
}

// Random steps through the real window, each checked against the model of what the user must
// see. A failure names the seed; TESSORA_SEED replays one.
void TestMainWindow::randomSessions()
{
    const quint32 seed = qEnvironmentVariableIsSet("TESSORA_SEED")
                             ? qEnvironmentVariableIntValue("TESSORA_SEED")
                             : 20'261'207u;
    for (int session = 0; session < 4; ++session) {
        if (session > 0)
            init();
        QRandomGenerator random(seed + session);
        for (int n = 1; n <= 80; ++n) {
            step(random);
            check(QString("TESSORA_SEED=%1, session %2, step %3").arg(seed).arg(session).arg(n));
            if (QTest::currentTestFailed())
                return;
        }
    }
}

void TestMainWindow::step(QRandomGenerator &random)
{
    auto any = [&](int high) {
        return int(random.bounded(high));
    };
    auto click = [](QWidget *widget) {
        QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
    };
    auto *bar = control<QScrollBar>("HScroll1");
    const int k = any(PixelsPerGlyph) + 1;
    switch (any(20)) {
    case 0: // the archive appears, or another program changes its length or its font
        if (!m.size || any(2)) {
            m.disk = testsupport::makeTable(random.generate() | 1);
            m.stale = true;
            testsupport::createArchive(QFile::encodeName(m_dir->filePath("new")), m.disk);
            QVERIFY(::rename(qPrintable(m_dir->filePath("new")),
                             qPrintable(m_dir->filePath(ResourceName))) == 0);
        }
        m.size = MinimumArchiveSize + any(3) - 1;
        if (m.size < MinimumArchiveSize) // the table's last byte goes with the file's
            m.disk.setByte(TableSize, 0);
        QVERIFY(QFile::resize(m_dir->filePath(ResourceName), m.size));
        break;
    case 1:
        item("Read")->trigger();
        if (m.size < MinimumArchiveSize) {
            m.messages << (m.size ? "too short" : "Cannot find " + m_dir->filePath(ResourceName));
            break;
        }
        m.table = m.disk;
        m.readSize = m.size;
        m.stale = false;
        m.loaded = true;
        m.viewerBorders = false;
        m.viewerChecked = true;
        break;
    case 2: {
        const bool fail = any(4) == 0;
        m_failWrites = fail;
        item("Save")->trigger();
        m_failWrites = false;
        if (!m.loaded)
            m.messages << ReadFirst;
        else if (m.stale) // replaced by another file: Save must not write into it
            m.messages << "Nothing was saved; your edits are kept.";
        else if (m.size != m.readSize)
            m.messages << "has changed";
        else if (fail)
            m.messages << "Input/output error.\n\nNothing was saved; your edits are kept.";
        else
            m.disk = m.table;
        break;
    }
    case 3:
    case 4: {
        const int g = any(GlyphCount) + 1;
        if (any(3)) // a click, or a screen reader's press
            click(viewer(g));
        else
            QAccessible::queryAccessibleInterface(viewer(g))->actionInterface()->doAction(
                QAccessibleActionInterface::pressAction());
        m.clickGlyph(g);
        break;
    }
    case 5: { // the pen: its arrows by mouse, and keys
        const int move = any(10), y = bar->height() / 2;
        const Qt::Key keys[] = {Qt::Key_Home, Qt::Key_End,  Qt::Key_PageUp, Qt::Key_PageDown,
                                Qt::Key_Left, Qt::Key_Down, Qt::Key_Right,  Qt::Key_Up};
        if (move < 2)
            QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(move ? bar->width() - 4 : 3, y));
        else
            bar->setFocus(), QTest::keyClick(bar, keys[move - 2]);
        const int to[] = {m.pen - 1,  m.pen + 1, 0,         255,       m.pen + 16,
                          m.pen - 16, m.pen - 1, m.pen - 1, m.pen + 1, m.pen + 1};
        m.pen = std::clamp(to[move], 0, 255);
        break;
    }
    case 6:
        click(control<QPushButton>("PickColor"));
        m.pick = true;
        break;
    case 7:
        item("SGViewer")->trigger();
        if (m.loaded) {
            m.viewerChecked = !m.viewerChecked;
            m.viewerBorders = !m.viewerChecked;
        }
        break;
    case 8:
        item("SGEditor")->trigger();
        if (m.glyph)
            m.editorBorders = !m.editorBorders;
        break;
    case 9:
        item("About")->trigger();
        m.about = true;
        break;
    case 10:
        if (m.about) {
            QWidget *about = aboutWindows().value(0);
            if (const int how = any(4); how == 0)
                click(about->findChild<QPushButton *>("cmdOK"));
            else
                how == 3 ? void(about->close())
                         : QTest::keyClick(about, how == 1 ? Qt::Key_Return : Qt::Key_Escape);
            m.about = false;
        }
        break;
    case 11: // covered and shown again, the cells repaint what they keep
        m_window->hide();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        break;
    case 12:
        item("Exit")->trigger();
        m.exits++;
        m.about = false;
        break;
    case 13: { // the keyboard in the table or the editor: arrows, then Space or Enter
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        const int which = any(2), columns = which ? 8 : 16, cells = which ? 128 : 96;
        QWidget *grid = which ? static_cast<QWidget *>(m_window->findChild<PixelEditor *>())
                              : m_window->findChild<GlyphTableView *>();
        grid->setFocus(Qt::TabFocusReason);
        int &mark = m.marked[which];
        for (int n = any(6); n > 0; --n) {
            const Qt::Key key =
                std::array{Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down}[n % 4];
            QTest::keyClick(grid, key);
            const int column = (mark - 1) % columns;
            mark += key == Qt::Key_Left    ? -(column > 0)
                    : key == Qt::Key_Right ? column < columns - 1
                    : key == Qt::Key_Up    ? -columns * (mark > columns)
                                           : columns * (mark + columns <= cells);
        }
        QTest::keyClick(grid, any(2) ? Qt::Key_Space : Qt::Key_Return);
        which ? void(m.clickPixel(mark)) : m.clickGlyph(mark);
        break;
    }
    case 14:
        QTest::keyClick(m_window.get(), Qt::Key_Escape);
        m.pick = false;
        break;
    case 15: { // a stroke along a row or a column of the editor, in one quick move
        const bool across = any(2);
        const int to = across ? (k - 1) / 8 * 8 + any(8) + 1 : (k - 1) % 8 + 8 * any(16) + 1;
        const QPoint there = editor(to)->pos() - editor(k)->pos() + QPoint(10, 10);
        QTest::mousePress(editor(k), Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseMove(editor(k), there);
        QTest::mouseRelease(editor(k), Qt::LeftButton, {}, there);
        if (m.clickPixel(k))
            for (int i = k; i != to; i += (to > k ? 1 : -1) * (across ? 1 : 8))
                m.paint(i + (to > k ? 1 : -1) * (across ? 1 : 8));
        break;
    }
    default: // a pixel: clicked, or double-clicked, which acts as one click
        click(editor(k));
        if (any(4) == 0) {
            QTest::mouseDClick(editor(k), Qt::LeftButton);
            QTest::mouseRelease(editor(k), Qt::LeftButton);
        }
        m.clickPixel(k);
    }
}

void TestMainWindow::check(const QString &where)
{
#define EXPECT(condition) QVERIFY2(condition, qPrintable(where + ": " #condition))
    const EditorState &state = m_window->state();
    EXPECT(m_catcher->texts.size() == m.messages.size());
    for (int i = 0; i < m.messages.size(); ++i)
        EXPECT(m_catcher->texts[i].contains(m.messages[i]));
    EXPECT(m_catcher->titles.count("Tessora") == m_catcher->titles.size() && m_catcher->plain);
    EXPECT(m_exits->count() == m.exits);
    EXPECT(aboutWindows().size() == int(m.about));
    const QString path = m_dir->filePath(ResourceName);
    EXPECT(Snapshot::of(QFile::encodeName(path)) ==
           (m.size ? Snapshot::archive(m.disk, MinimumArchiveSize, m.size) : Snapshot()));

    EXPECT(state.FontTable == m.table);
    EXPECT(state.TableLoaded == m.loaded);
    EXPECT(state.SelectedGlyph == m.glyph && state.SelectedPixel == m.pixel);
    EXPECT(state.PickMode == m.pick);
    EXPECT(control<QPushButton>("PickColor")->isChecked() == m.pick);
    EXPECT(item("SGViewer")->isEnabled() == m.loaded);
    EXPECT(item("SGViewer")->isChecked() == m.viewerChecked);
    EXPECT(item("SGEditor")->isEnabled() == (m.glyph != 0));
    EXPECT(item("SGEditor")->isChecked() == m.editorBorders);
    EXPECT(control<QScrollBar>("HScroll1")->value() == m.pen);
    EXPECT(control<QLabel>("PenNumber")->text() == QString::number(m.pen));
    EXPECT(state.PenColor == grayColor(quint8(m.pen)));
    EXPECT(editor(1)->cursor().shape() == (m.pick ? Qt::WhatsThisCursor : Qt::ArrowCursor));
    EXPECT(editor(1)->accessibleDescription().contains(m.pick ? "take its level" : "paint"));

    // The pixels on the screen. Design pixels become device pixels by rounding p * scale; a
    // table square covers 3 design pixels of a 4-pixel pitch, the lanes the fourth.
    const qreal s = m_window->devicePixelRatioF();
    const QImage shot = m_window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    auto device = [s](qreal p) {
        return int(std::lround(p * s));
    };
    // Where a point of a cell, in its own logical pixels, lies in device pixels.
    auto origin = [&](QWidget *cell, QPoint at = {}) {
        const QPoint p = cell->mapTo(m_window.get(), at);
        return QPoint(device(p.x()), device(p.y()));
    };
    const QRgb line = viewer(1)->palette().color(QPalette::WindowText).rgb();
    auto gray = [](int level) {
        return qRgb(level, level, level);
    };
    const QPoint swatch = origin(control("PenPictureBox")) + QPoint(device(10), device(10));
    EXPECT(shot.pixel(swatch) == gray(m.pen));

    std::vector<int> square(device(64)); // the square's row or column a device pixel is in
    for (int p = 0; p < 64; p += 4)
        for (int i = device(p); i < device(p + 4); ++i)
            square[i] = i < device(p + 3) ? p / 4 : -1;
    const bool tableMarked = m_window->findChild<GlyphTableView *>()->hasFocus();
    const bool editorMarked = m_window->findChild<PixelEditor *>()->hasFocus();
    for (int g = 1; g <= GlyphCount; ++g) {
        if (tableMarked && g == m.marked[0])
            continue; // under the keyboard's mark
        // The drawing area, inside the border: the cell's outermost logical pixels.
        const QPoint o = origin(viewer(g), m.viewerBorders ? QPoint(1, 1) : QPoint());
        const QPoint end = origin(viewer(g), {33, 65});
        EXPECT(viewer(g)->hasBorder() == m.viewerBorders);
        EXPECT(shot.pixel(origin(viewer(g))) == (m.viewerBorders ? line : shot.pixel(o)));
        for (int j = 0; j < std::min(device(64), end.y() - o.y()); ++j) {
            const QRgb *row = reinterpret_cast<const QRgb *>(shot.constScanLine(o.y() + j));
            for (int i = 0; i < std::min(device(32), end.x() - o.x()); ++i) {
                const int x = square[i], y = square[j];
                const QRgb want = !m.loaded || x < 0 || y < 0
                                      ? m_blank
                                      : gray(m.table.byte(pixelPosition(g, 8 * y + x + 1)));
                if ((row[o.x() + i] & 0xffffff) != (want & 0xffffff))
                    QFAIL(
                        qPrintable(where + QString(": glyph %1 at (%2, %3)").arg(g).arg(i).arg(j)));
            }
        }
    }
    for (int i = 1; i <= PixelsPerGlyph; ++i) {
        if (editorMarked && i == m.marked[1])
            continue;
        const QRgb want = m.glyph ? gray(m.shown[i - 1]) : m_blank;
        const QPoint o = origin(editor(i));
        const QPoint in = m.editorBorders ? origin(editor(i), {1, 1}) - o : QPoint();
        const QPoint last = origin(editor(i), {19, 19}) - o - QPoint(1, 1); // before the next
        EXPECT(editor(i)->hasBorder() == m.editorBorders);
        EXPECT(shot.pixel(o) == (m.editorBorders ? line : want));
        for (QPoint p : {in, last, QPoint(in.x(), last.y()), QPoint(device(10), device(10))})
            EXPECT(shot.pixel(o + p) == want);
        if (m.glyph)
            EXPECT(editor(i)->accessibleName() ==
                   QString("Pixel %1, level %2").arg(i).arg(m.shown[i - 1]));
    }
#undef EXPECT
}

void TestMainWindow::programRunsUntilItsLastWindowCloses()
{
    m_window->findChild<QAction *>("About")->trigger();
    QPointer<AboutWindow> about = aboutWindows().value(0);
    bool aboutClosedLast = false;
    QTimer::singleShot(0, this, [&] {
        m_window->close();
        QTimer::singleShot(200, this, [&] { aboutClosedLast = about->close(); });
    });
    QTimer::singleShot(5000, qApp, &QCoreApplication::quit);
    QApplication::exec(); // runs until the program would end
    QVERIFY2(aboutClosedLast, "the program ended while the About window was still open");
    QVERIFY(about.isNull() || !about->isVisible());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
