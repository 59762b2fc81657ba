#include "about/aboutwindow.h"
#include "mainwindow/mainwindow.h"
#include "mainwindow/picturecell.h"

#include "support/support.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextLayout>
#include <QTimer>

using namespace testsupport;

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
    bool loaded = false, pick = false, about = false;
    bool viewerBorders = true, viewerChecked = true, editorBorders = true;
    int glyph = 0, pixel = 0, pen = 255, exits = 0;
    std::array<int, PixelsPerGlyph> shown{}; // the levels the editor cells show
    int marked[2] = {1, 1};                  // the keyboard's marks in the table and the editor
    QStringList messages;

    void clickGlyph(int g)
    {
        if (!loaded)
            messages << ReadFirst;
        for (int i = 1; loaded && i <= PixelsPerGlyph; ++i)
            shown[i - 1] = table.byte(pixelPosition(glyph = g, i));
    }
    bool clickPixel(int k) // whether it painted, as the press of a stroke
    {
        if (!loaded || !glyph)
            messages << (loaded ? SelectFirst : ReadFirst);
        else if (pick)
            pen = shown[k - 1], pick = false;
        else
            return paint(k);
        return false;
    }
    bool paint(int k)
    {
        table.setByte(pixelPosition(glyph, pixel = k), quint8(shown[k - 1] = pen));
        return true;
    }
};

} // namespace

// Runs once for each scale factor that CTest sets in QT_SCALE_FACTOR.
class TestMainWindow : public QObject
{
    Q_OBJECT

public:
    TestMainWindow()
    {
        m_answer.callOnTimeout(this, &TestMainWindow::answerMessage);
        m_answer.start(5);
    }

private slots:
    void init();
    void cleanup();
    void layoutAndTexts();
    void randomSessions();
    void programRunsUntilItsLastWindowCloses();

private:
    template <typename T = QWidget> T *find(const QString &name) const
    {
        return m_window->findChild<T *>(name);
    }
    PictureCell *cell(const char *grid, int i) const
    {
        return find<PictureCell>(QString("%1(%2)").arg(grid).arg(i));
    }
    int any(int high) { return int(m_random.bounded(high)); }
    void answerMessage();
    void step();
    void check(const QString &where);

    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<QSignalSpy> m_exits;
    QTimer m_answer;
    QStringList m_messages; // the texts of the message boxes shown
    bool m_plainMessages = true;
    bool m_failWrites = false;
    QRandomGenerator m_random;
    Model m;
};

void TestMainWindow::init()
{
    QFile::remove(m_dir.filePath(ResourceName));
    FileCalls calls;
    calls.pwrite = [this](int fd, const void *buffer, size_t count, off_t at) -> ssize_t {
        return m_failWrites ? (errno = EIO, -1) : ::pwrite(fd, buffer, count, at);
    };
    m_window = std::make_unique<MainWindow>(Folder(QFile::encodeName(m_dir.path())), calls);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m = Model{};
    m_messages.clear();
    m_exits = std::make_unique<QSignalSpy>(m_window.get(), &MainWindow::exitRequested);
}

void TestMainWindow::cleanup()
{
    qDeleteAll(aboutWindows());
    m_exits.reset();
    m_window.reset();
}

// Notes the text of each message box, that it is plain, titled and has just an OK, and closes it.
void TestMainWindow::answerMessage()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    m_messages << box->text();
    m_plainMessages = m_plainMessages && box->windowTitle() == "Tessora" &&
                      box->standardButtons() == QMessageBox::Ok &&
                      box->icon() == QMessageBox::NoIcon && box->textFormat() == Qt::PlainText;
    box->button(QMessageBox::Ok)->click();
}

void TestMainWindow::layoutAndTexts()
{
    find<QAction>("About")->trigger();
    AboutWindow *about = aboutWindows().value(0);
    QVERIFY(about && !about->parentWidget() && !about->isModal());
    QCOMPARE(about->windowType(), Qt::Tool);
    auto object = [&](const char *name) { // a menu's action before the menu itself
        QObject *found = find<QAction>(name);
        for (QObject *o : QObjectList{about->findChild<QObject *>(name), about, m_window.get(),
                                      find<QObject>(name)})
            if (!found && o && o->objectName() == name)
                found = o;
        return found;
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
    const QString note = "How to use :" + QString(93, ' ') + "1.Copy this tool to C:\\Program Files\\Koei\\RTKXI\\Media\r\n"
        " 2.Run it and now you can edit the characters which are stored in san11res.bin 3.You have to save before "
        "exiting otherwise you will lose your work\r\nNotes :  It is wise to make a backup from san11res.bin before "
        "using this tool" + QString(19, ' ') + "Use this tool at your own risk. There are a lot of bugs in it!";
    const std::tuple<const char *, const char *, QString> texts[] = {
        {"Form1", "windowTitle", "Tessora"}, {"frmAbout", "windowTitle", "About"},
        {"File", "text", "File"}, {"Read", "text", "Read"}, {"Save", "text", "Save"},
        {"Exit", "text", "Exit"}, {"View", "text", "View"}, {"About", "text", "About"},
        {"ShowGridlines", "text", "Show Gridlines"}, {"SGViewer", "text", "Viewer"},
        {"SGEditor", "text", "Editor"}, {"cmdOK", "text", "OK"},
        {"PickColor", "toolTip", "Pick Color"}, {"PickColor", "accessibleName", "Pick Color"},
        {"HScroll1", "accessibleName", "Pen level"}, {"Viewer(17)", "accessibleName", "Glyph 17"},
        {"Viewer(16)", "accessibleDescription", "Row 1, column 16 of the font table; click to edit the glyph"},
        {"Label3", "text", "Tessora for Romance of the Three Kingdoms XI"},
        {"Label2", "text", "Version 2.0, by the Tessora developers"}, {"lblDescription", "text", note}};
    // clang-format on
    QCOMPARE(m_window->centralWidget()->size(), QSize(728, 419));
    for (const auto &[name, at] : layout) {
        auto *widget = static_cast<QWidget *>(object(name));
        QWidget *client = widget->window() == about ? about : m_window->centralWidget();
        QVERIFY(widget->minimumSize() == widget->maximumSize() || widget != widget->window());
        QCOMPARE(QRect(widget->mapTo(client, QPoint()), widget->size()), at);
    }
    for (const auto &[name, property, text] : texts)
        QCOMPARE(object(name)->property(property).toString(), text);
    for (QAction *action : m_window->findChildren<QAction *>()) {
        const bool gridlines = action->objectName().startsWith("SG");
        QVERIFY(action->shortcut().isEmpty() && !action->text().contains('&'));
        QVERIFY(action->isEnabled() != gridlines && action->isChecked() == gridlines);
    }
    QVERIFY(!find<QAction>("About")->menu() && about->findChild<QPushButton *>()->isDefault());
    QVERIFY(!(m_window->windowFlags() & Qt::WindowMinMaxButtonsHint) && note.size() == 466);
    QCOMPARE(about->windowIcon().pixmap(16).toImage(), m_window->windowIcon().pixmap(16).toImage());
    QCOMPARE(about->findChild<QLabel *>("Image1")->pixmap().size(), QSize(32, 32));
    const QImage eyedropper = find<QPushButton>("PickColor")->icon().pixmap(26).toImage();
    QVERIFY(qAlpha(eyedropper.pixel(0, 0)) == 0 && eyedropper.pixel(1, 24) == qRgb(0, 0, 0));
    // Tab walks the table, the editor, the pen and the eyedropper, in that order.
    QWidgetList stops;
    for (QWidget *w = m_window->nextInFocusChain(); w != m_window.get(); w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus)
            stops << w;
    QCOMPARE(stops,
             (QWidgetList{find("Viewer(1)")->parentWidget(), find("Editor(1)")->parentWidget(),
                          find("HScroll1"), find("PickColor")}));

    // The usage note wraps where its blanks intend, in seven lines inside its label, laid out as
    // the label lays out plain text.
    auto *label = about->findChild<QLabel *>("lblDescription");
    QTextLayout lines(QString(note).replace('\r', ' ').replace('\n', QChar::LineSeparator),
                      label->font());
    QStringList shown;
    qreal height = 0;
    lines.beginLayout();
    for (QTextLine line; (line = lines.createLine()).isValid(); height += line.height()) {
        line.setLineWidth(label->width());
        shown << lines.text().mid(line.textStart(), line.textLength()).trimmed();
    }
    lines.endLayout();
    QVERIFY(height <= label->height());
    QCOMPARE(
        shown,
        (QStringList{
            "How to use :", "1.Copy this tool to C:\\Program Files\\Koei\\RTKXI\\Media",
            "2.Run it and now you can edit the characters which are stored in",
            "san11res.bin 3.You have to save before exiting otherwise you will lose your", "work",
            "Notes :  It is wise to make a backup from san11res.bin before using this tool",
            "Use this tool at your own risk. There are a lot of bugs in it!"}));
}

// Random steps through the real window, each checked against the model of what the user must
// see. A failure names its random start; TESSORA_SEED replays it.
void TestMainWindow::randomSessions()
{
    const quint32 seed = qEnvironmentVariableIsSet("TESSORA_SEED")
                             ? qEnvironmentVariableIntValue("TESSORA_SEED")
                             : 20'261'207u;
    for (int session = 0; session < 4; ++session) {
        if (session > 0)
            init();
        m_random.seed(seed + session);
        for (int n = 1; n <= 64 && !QTest::currentTestFailed(); ++n) {
            step();
            check(QString("TESSORA_SEED=%1, session %2, step %3").arg(seed).arg(session).arg(n));
        }
    }
}

void TestMainWindow::step()
{
    auto click = [](QWidget *widget) {
        QTest::mouseClick(widget, Qt::LeftButton, {}, {10, 10});
    };
    // A cell clicked, or double-clicked, which acts as one click; now and then a release follows
    // whose press went elsewhere (it closed a menu, say), which is no click either.
    auto clickCell = [&](PictureCell *cell) {
        click(cell);
        if (any(4) == 0) {
            QTest::mouseDClick(cell, Qt::LeftButton);
            QTest::mouseRelease(cell, Qt::LeftButton);
        }
        if (any(4) == 0)
            QTest::mouseRelease(cell, Qt::LeftButton);
    };
    // The keyboard's way to the table, the editor, the pen or the eyedropper.
    auto tabTo = [this](int stop) {
        QWidget *widget = m_window->centralWidget()->findChildren<QWidget *>(
            Qt::FindDirectChildrenOnly)[std::array{0, 1, 3, 5}[stop]];
        widget->setFocus(Qt::TabFocusReason);
        return widget;
    };
    const QString archive = m_dir.filePath(ResourceName);
    auto *bar = find<QScrollBar>("HScroll1");
    const int k = any(PixelsPerGlyph) + 1, g = any(GlyphCount) + 1;
    switch (any(18)) {
    case 0: // the archive appears, or another program changes its length or its font
        if (!m.size || any(2)) {
            createArchive(QFile::encodeName(m_dir.filePath("new")),
                          m.disk = makeTable(m_random.generate() | 1));
            QVERIFY(::rename(qPrintable(m_dir.filePath("new")), qPrintable(archive)) == 0);
            m.stale = true;
        }
        m.size = MinimumArchiveSize + any(3) - 1;
        if (m.size < MinimumArchiveSize) // the table's last byte goes with the file's
            m.disk.setByte(TableSize, 0);
        QVERIFY(QFile::resize(archive, m.size));
        break;
    case 1:
        find<QAction>("Read")->trigger();
        if (m.size < MinimumArchiveSize)
            m.messages << (m.size ? "too short" : "Cannot find " + archive);
        else
            m.table = m.disk, m.readSize = m.size, m.loaded = m.viewerChecked = true,
            m.stale = m.viewerBorders = false;
        break;
    case 2:
        m_failWrites = any(4) == 0;
        find<QAction>("Save")->trigger();
        if (!m.loaded)
            m.messages << ReadFirst;
        else if (m.stale || m.size != m.readSize) // replaced, or grown or shrunk
            m.messages << (m.stale ? "Nothing was saved; your edits are kept." : "has changed");
        else if (m_failWrites)
            m.messages << "Input/output error.\n\nNothing was saved; your edits are kept.";
        else
            m.disk = m.table;
        m_failWrites = false;
        break;
    case 3: // a glyph: by the mouse, or a screen reader's press
        if (any(3))
            clickCell(cell("Viewer", g));
        else
            QAccessible::queryAccessibleInterface(cell("Viewer", g))
                ->actionInterface()
                ->doAction(QAccessibleActionInterface::pressAction());
        m.clickGlyph(g);
        break;
    case 4: { // the pen: its arrows by mouse, and keys
        const int move = any(10);
        const Qt::Key keys[] = {Qt::Key_Home, Qt::Key_End,  Qt::Key_PageUp, Qt::Key_PageDown,
                                Qt::Key_Left, Qt::Key_Down, Qt::Key_Right,  Qt::Key_Up};
        if (move < 2)
            QTest::mouseClick(bar, Qt::LeftButton, {}, {move ? bar->width() - 4 : 3, 10});
        else
            QTest::keyClick(tabTo(2), keys[move - 2]);
        const int to[] = {-1, 1, -m.pen, 255 - m.pen, 16, -16, -1, -1, 1, 1};
        m.pen = std::clamp(m.pen + to[move], 0, 255);
        break;
    }
    case 5: // the eyedropper, clicked or from the keyboard
        any(2) ? click(find("PickColor")) : QTest::keyClick(tabTo(3), Qt::Key_Space);
        m.pick = true;
        break;
    case 6: {
        const bool table = any(2);
        find<QAction>(table ? "SGViewer" : "SGEditor")->trigger();
        if (table && m.loaded)
            m.viewerBorders = m.viewerChecked, m.viewerChecked = !m.viewerChecked;
        if (!table && m.glyph)
            m.editorBorders = !m.editorBorders;
        break;
    }
    case 7: // About opened, or closed with OK, Enter, Esc or its close box
        if (QPointer<QWidget> about = aboutWindows().value(0); m.about && any(2) && about) {
            if (const int how = any(4); how == 0)
                click(about->findChild<QPushButton *>("cmdOK"));
            else
                how == 3 ? void(about->close())
                         : QTest::keyClick(about, how == 1 ? Qt::Key_Return : Qt::Key_Escape);
            QTRY_VERIFY(about.isNull()); // destroyed, and made anew by the next About
            m.about = false;
        } else {
            find<QAction>("About")->trigger();
            m.about = true;
        }
        break;
    case 8: // covered and shown again, the cells repaint what they keep
        m_window->hide();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        break;
    case 9:
        find<QAction>("Exit")->trigger();
        m.exits++;
        m.about = false;
        break;
    case 10:
    case 13: { // the keyboard in the table or the editor: arrows, then Space or Enter
        const int which = any(2), columns = which ? 8 : 16, cells = which ? 128 : 96;
        QWidget *grid = tabTo(which);
        int &mark = m.marked[which];
        // A long walk first runs into a corner and on against both its edges, then wanders.
        const int across = any(2), down = 2 + any(2);
        for (int n = any(4) ? any(16) : 48; n > 0; --n) {
            const int key = n > 16 ? (n % 2 ? across : down) : any(4);
            const int column = (mark - 1) % columns;
            QTest::keyClick(grid,
                            std::array{Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down}[key]);
            mark +=
                std::array{-(column > 0), int(column < columns - 1), -columns * (mark > columns),
                           columns * (mark + columns <= cells)}[key];
        }
        QTest::keyClick(grid, any(2) ? Qt::Key_Space : Qt::Key_Return);
        which ? void(m.clickPixel(mark)) : m.clickGlyph(mark);
        break;
    }
    case 11:
        QTest::keyClick(m_window.get(), Qt::Key_Escape);
        m.pick = false;
        break;
    case 12: { // a stroke along a row or a column of the editor, in one quick move
        const int step = any(2) ? 1 : 8;
        const int to = step == 1 ? (k - 1) / 8 * 8 + any(8) + 1 : (k - 1) % 8 + 8 * any(16) + 1;
        const QPoint there = cell("Editor", to)->pos() - cell("Editor", k)->pos() + QPoint(10, 10);
        QTest::mousePress(cell("Editor", k), Qt::LeftButton, {}, {10, 10});
        QTest::mouseMove(cell("Editor", k), there);
        QTest::mouseRelease(cell("Editor", k), Qt::LeftButton, {}, there);
        if (m.clickPixel(k))
            for (int i = k; i != to;)
                m.paint(i += to > k ? step : -step);
        break;
    }
    default:
        clickCell(cell("Editor", k));
        m.clickPixel(k);
    }
}

void TestMainWindow::check(const QString &where)
{
#define EXPECT(condition) QVERIFY2(condition, qPrintable(where + ": " #condition))
    const EditorState &state = m_window->state();
    PictureCell *first = cell("Editor", 1);
    bool messages = m_messages.size() == m.messages.size() && m_plainMessages;
    for (int i = 0; messages && i < m.messages.size(); ++i)
        messages = m_messages[i].contains(m.messages[i]);
    EXPECT(messages && m_exits->count() == m.exits && aboutWindows().size() == int(m.about));
    EXPECT(Snapshot::of(QFile::encodeName(m_dir.filePath(ResourceName))) ==
           (m.size ? Snapshot::archive(m.disk, MinimumArchiveSize, m.size) : Snapshot()));
    EXPECT(state.FontTable == m.table && state.TableLoaded == m.loaded);
    EXPECT(state.SelectedGlyph == m.glyph && state.SelectedPixel == m.pixel);
    EXPECT(state.PickMode == m.pick && find<QPushButton>("PickColor")->isChecked() == m.pick);
    EXPECT(find<QAction>("SGViewer")->isEnabled() == m.loaded &&
           find<QAction>("SGViewer")->isChecked() == m.viewerChecked);
    EXPECT(find<QAction>("SGEditor")->isEnabled() == (m.glyph != 0) &&
           find<QAction>("SGEditor")->isChecked() == m.editorBorders);
    EXPECT(find<QScrollBar>("HScroll1")->value() == m.pen && state.PenColor == grayColor(m.pen) &&
           find<QLabel>("PenNumber")->text() == QString::number(m.pen));
    EXPECT(first->cursor().shape() == (m.pick ? Qt::WhatsThisCursor : Qt::ArrowCursor));
    EXPECT(first->accessibleDescription().contains(m.pick ? "take its level" : "paint"));

    // The pixels on the screen. Design pixels become device pixels by rounding p * scale; a table
    // square covers 3 design pixels of a 4-pixel pitch, the lanes the fourth.
    const qreal s = m_window->devicePixelRatioF();
    const QImage shot = m_window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    auto device = [s](qreal p) {
        return int(std::lround(p * s));
    };
    auto origin = [&](QWidget *widget, QPoint at = {}) { // in device pixels of the window
        const QPoint p = widget->mapTo(m_window.get(), at);
        return QPoint(device(p.x()), device(p.y()));
    };
    auto gray = [](int level) {
        return qRgb(level, level, level);
    };
    const QRgb blank = first->palette().color(QPalette::Base).rgb();
    EXPECT(shot.pixel(origin(find("PenPictureBox"), {10, 10})) == gray(m.pen));
    std::vector<int> square(device(64)); // the square's row or column a device pixel is in
    for (int p = 0; p < 64; p += 4)
        for (int i = device(p); i < device(p + 4); ++i)
            square[i] = i < device(p + 3) ? p / 4 : -1;
    // A cell's corner is its border's, and every device pixel of its drawing area, up to the
    // neighbour's border, shows what the model says.
    auto scan = [&](PictureCell *cell, int which, int mark, bool border, QSize area, auto want) {
        if (QTest::currentTestFailed() ||
            (cell->parentWidget()->hasFocus() && m.marked[which] == mark))
            return; // one failure is enough; the keyboard's mark covers the marked cell
        const QPoint o = origin(cell, QPoint(border, border));
        const QPoint end = origin(cell, {cell->width() - 1, cell->height() - 1});
        EXPECT(cell->hasBorder() == border);
        EXPECT(shot.pixel(origin(cell)) == (border ? qRgb(0, 0, 0) : want(0, 0)));
        for (int j = 0; j < std::min(area.height(), end.y() - o.y()); ++j) {
            const QRgb *row = reinterpret_cast<const QRgb *>(shot.constScanLine(o.y() + j));
            for (int i = 0; i < std::min(area.width(), end.x() - o.x()); ++i)
                if ((row[o.x() + i] & 0xffffff) != (want(i, j) & 0xffffff))
                    QFAIL(qPrintable(
                        where + QString(": %1 at %2, %3").arg(cell->objectName()).arg(i).arg(j)));
        }
    };
    for (int g = 1; g <= GlyphCount; ++g)
        scan(cell("Viewer", g), 0, g, m.viewerBorders, {device(32), device(64)}, [&](int i, int j) {
            return !m.loaded || square[i] < 0 || square[j] < 0
                       ? blank
                       : gray(m.table.byte(pixelPosition(g, 8 * square[j] + square[i] + 1)));
        });
    for (int k = 1; k <= PixelsPerGlyph; ++k) {
        scan(cell("Editor", k), 1, k, m.editorBorders, {device(20), device(20)},
             [&](int, int) { return m.glyph ? gray(m.shown[k - 1]) : blank; });
        EXPECT(!m.glyph || cell("Editor", k)->accessibleName() ==
                               QString("Pixel %1, level %2").arg(k).arg(m.shown[k - 1]));
    }
#undef EXPECT
}

void TestMainWindow::programRunsUntilItsLastWindowCloses()
{
    find<QAction>("About")->trigger();
    QPointer<AboutWindow> about = aboutWindows().value(0);
    bool aboutClosedLast = false;
    QTimer::singleShot(0, this, [&] {
        m_window->close();
        QTimer::singleShot(200, this, [&] { aboutClosedLast = about->close(); });
    });
    QTimer::singleShot(5000, qApp, &QCoreApplication::quit);
    QApplication::exec(); // runs until the program would end
    QVERIFY2(aboutClosedLast, "the program ended while the About window was still open");
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
