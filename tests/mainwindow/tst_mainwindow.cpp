#include "about/aboutwindow.h"
#include "mainwindow/mainwindow.h"
#include "mainwindow/messages.h"
#include "mainwindow/previewwindow.h"
#include "views/glyphtableview.h"
#include "views/pixeleditor.h"
#include "views/textpreview.h"

#include "support/support.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QBackingStore>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace testsupport;

namespace
{

QList<AboutWindow *> aboutWindows()
{
    QList<AboutWindow *> open;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *about = qobject_cast<AboutWindow *>(widget); about && about->isVisible())
            open << about;
    return open;
}

} // namespace

// Runs once for each scale factor that CTest sets in QT_SCALE_FACTOR. Input goes to the real
// window; a second FontEditor, on a copy of the archive, is given the operation that the input
// stands for, and the two must agree. The screen must show the window's own state.
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
    void fixedTexts();
    void aboutOutlivesTheWindow();
    void refusedSaveKeepsEdits_data();
    void refusedSaveKeepsEdits();
    void preview_data();
    void preview();
    void randomSessions();

private:
    template <typename T = QWidget> T *find(const QString &name) const
    {
        return m_window->findChild<T *>(name);
    }
    int any(int high) { return int(m_random.bounded(high)); }
    void answerMessage();
    void say(const QString &message); // what the user must have seen
    void step();
    void check(const QString &where);

    QTemporaryDir m_dir, m_shadowDir;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<FontEditor> m_shadow;
    std::unique_ptr<QSignalSpy> m_exits;
    GlyphTableView *m_table = nullptr;
    PixelEditor *m_editor = nullptr;
    QTimer m_answer;
    QStringList m_messages, m_said; // the texts of the message boxes shown, and expected
    bool m_plainMessages = true, m_about = false;
    int m_exitsWanted = 0;
    int m_walks = 0;          // into a corner, for every session
    int m_marked[2] = {1, 1}; // the keyboard's marks in the table and the editor
    QRandomGenerator m_random;
};

void TestMainWindow::init()
{
    QFile::remove(m_dir.filePath(ResourceName));
    QFile::remove(m_shadowDir.filePath(ResourceName));
    m_window = std::make_unique<MainWindow>(Folder(QFile::encodeName(m_dir.path())));
    m_shadow = std::make_unique<FontEditor>(Folder(QFile::encodeName(m_shadowDir.path())));
    m_exits = std::make_unique<QSignalSpy>(m_window.get(), &MainWindow::exitRequested);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_table = m_window->findChild<GlyphTableView *>();
    m_editor = m_window->findChild<PixelEditor *>();
    m_messages.clear();
    m_said.clear();
    m_about = false;
    m_exitsWanted = 0;
    m_marked[0] = m_marked[1] = 1;
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

void TestMainWindow::say(const QString &message)
{
    if (!message.isEmpty())
        m_said << QString(message).replace(m_shadowDir.path(), m_dir.path());
}

void TestMainWindow::fixedTexts()
{
    find<QAction>("About")->trigger();
    AboutWindow *about = aboutWindows().value(0);
    QVERIFY(about && !about->parentWidget() && !about->isModal());
    // clang-format off
    const QString note = "How to use :" + QString(93, ' ') + "1.Copy this tool to C:\\Program Files\\Koei\\RTKXI\\Media\r\n"
        " 2.Run it and now you can edit the characters which are stored in san11res.bin 3.You have to save before "
        "exiting otherwise you will lose your work\r\nNotes :  It is wise to make a backup from san11res.bin before "
        "using this tool" + QString(19, ' ') + "Use this tool at your own risk. There are a lot of bugs in it!";
    const std::tuple<QObject *, const char *, QString> texts[] = {
        {m_window.get(), "windowTitle", "Tessora"}, {about, "windowTitle", "About"},
        {about->findChild<QPushButton *>("cmdOK"), "text", "OK"}, {find("PenNumber"), "text", "255"},
        {find("PickColor"), "toolTip", "Pick Color"}, {about->findChild<QLabel *>("lblDescription"), "text", note},
        {about->findChild<QLabel *>("Label3"), "text", "Tessora for Romance of the Three Kingdoms XI"}};
    // clang-format on
    for (const auto &[object, property, text] : texts)
        QCOMPARE(object->property(property).toString(), text);
    // The menu bar's captions, each menu's in brackets after it.
    std::function<QString(const QList<QAction *> &)> menus = [&](const QList<QAction *> &items) {
        QStringList captions;
        for (QAction *item : items)
            captions << item->text() +
                            (item->menu() ? "(" + menus(item->menu()->actions()) + ")" : "");
        return captions.join(' ');
    };
    QCOMPARE(menus(m_window->menuBar()->actions()),
             "File(Read Save Exit) View(Show Gridlines(Viewer Editor)) About");
    // No item of the menu bar has a shortcut; the window's own commands (Undo, ...) do.
    for (QAction *action : m_window->findChildren<QAction *>())
        QVERIFY(m_window->actions().contains(action) ||
                (action->shortcut().isEmpty() && !action->text().contains('&')));
    auto *label = about->findChild<QLabel *>("lblDescription");
    QVERIFY(label->heightForWidth(label->width()) <= label->height()); // the whole note shows
    for (QLabel *text : {label, find<QLabel>("PenNumber")}) // at the top, as in the design
        QVERIFY(text->alignment() & Qt::AlignTop);
    // Neighbouring cells share their outermost pixels.
    for (CellGrid *grid : {static_cast<CellGrid *>(m_table), static_cast<CellGrid *>(m_editor)})
        for (int i = 1; i < grid->count(); ++i)
            QVERIFY(grid->cellRect(i + 1).left() == grid->cellRect(i).right() ||
                    grid->cellRect(i + 1).top() == grid->cellRect(i).bottom());
    // Tab walks the table, the editor, the pen and the eyedropper, in that order.
    QWidgetList stops;
    for (QWidget *w = m_window->nextInFocusChain(); w != m_window.get(); w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus)
            stops << w;
    QCOMPARE(stops, (QWidgetList{m_table, m_editor, find("HScroll1"), find("PickColor")}));
}

// Closing the main window while About is open leaves the program running until About closes.
void TestMainWindow::aboutOutlivesTheWindow()
{
    find<QAction>("About")->trigger();
    QPointer<AboutWindow> about = aboutWindows().value(0);
    QVERIFY(about);
    QStringList seen;
    QTimer after, limit; // gone with this test, should the program not end when it must
    after.setSingleShot(true);
    after.callOnTimeout(this, [&] { seen << "running after About closed"; });
    limit.callOnTimeout(qApp, &QCoreApplication::quit);
    limit.start(5000);
    QTimer::singleShot(0, this, [&] {
        m_window->close();
        QTimer::singleShot(100, about, [&] {
            seen << "running with About";
            about->close();
            after.start(2000);
        });
    });
    QCOMPARE(QApplication::exec(), 0);
    QCOMPARE(seen, QStringList{"running with About"});
}

// A Save refused because another program changed the archive offers to keep the edits in a PNG;
// the archive and anything but a PNG are never written over.
void TestMainWindow::refusedSaveKeepsEdits_data()
{
    QTest::addColumn<int>("answer"); // 0 Esc, 1 Enter, 2 the export with the name given
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("there"); // what the file held before
    QTest::addColumn<QString>("refusal");  // the export's own, if any
    QTest::newRow("Esc closes it") << 0 << "" << QByteArray() << "";
    QTest::newRow("Enter closes it") << 1 << "" << QByteArray() << "";
    QTest::newRow("the name offered") << 2 << "font-unsaved.png" << QByteArray() << "";
    QTest::newRow("over an image") << 2 << "old.png" << QByteArray("\x89PNG\r\n\x1a\n") << "";
    QTest::newRow("not over a text") << 2 << "notes.txt" << QByteArray("notes\n")
                                     << ": exists and is not a PNG image, so it is left as it is";
    QTest::newRow("not over the archive")
        << 2 << "san11res.bin" << QByteArray() << ": is the archive itself";
}

void TestMainWindow::refusedSaveKeepsEdits()
{
    QFETCH(int, answer);
    QFETCH(QString, name);
    QFETCH(QByteArray, there);
    QFETCH(QString, refusal);
    const QByteArray archive = QFile::encodeName(m_dir.filePath(ResourceName));
    createArchive(archive, makeTable());
    const QString target = m_dir.filePath(name);
    if (!there.isEmpty()) {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(there) == there.size());
    }
    find<QAction>("Read")->trigger();
    QTest::mouseClick(m_table, Qt::LeftButton, {}, m_table->cellRect(18).center());
    QTest::mouseClick(m_editor, Qt::LeftButton, {}, m_editor->cellRect(3).center());
    QVERIFY(writeAt(archive, TableOffset + 5, "\x01")); // another program's change
    const Snapshot before = Snapshot::of(archive);

    m_answer.stop();
    QStringList seen; // each window in turn: the refusal, the dialog, the export's message
    QTimer answering;
    answering.callOnTimeout(this, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal); box && box->isVisible()) {
            auto *exporting = box->findChild<QPushButton *>("ExportPng");
            seen << (exporting                       ? "refused"
                     : box->button(QMessageBox::Yes) ? "replace?"
                                                     : box->text());
            if (seen.size() > 4) // the same again: the test has failed
                box->reject();
            else if (box->button(QMessageBox::Yes))
                box->button(QMessageBox::Yes)->click();
            else if (exporting && answer == 2)
                exporting->click();
            else if (exporting && answer == 0)
                QTest::keyClick(box, Qt::Key_Escape);
            else
                QTest::keyClick(box, Qt::Key_Return);
        } else if (auto *dialog = qobject_cast<QFileDialog *>(modal);
                   dialog && dialog->isVisible()) {
            seen << QDir(dialog->directory()).filePath(dialog->selectedFiles().value(0));
            dialog->selectFile(target);
            // Later: its question about a file there runs a loop of its own, not in this one.
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        }
    });
    answering.start(5);
    find<QAction>("Save")->trigger();
    answering.stop();
    m_answer.start(5);

    QCOMPARE(Snapshot::of(archive), before);
    QStringList wanted = {"refused"};
    if (answer == 2)
        wanted << m_dir.filePath("font-unsaved.png");
    if (answer == 2 && name != "font-unsaved.png")
        wanted << "replace?"; // the dialog's own question
    if (!refusal.isEmpty())
        wanted << "Nothing was exported. " + QDir::toNativeSeparators(target) + refusal;
    QCOMPARE(seen.size(), wanted.size());
    for (int i = 0; i < wanted.size(); ++i)
        QVERIFY2(seen[i].startsWith(wanted[i]), qPrintable(seen[i]));
    if (answer != 2 || !refusal.isEmpty()) { // left as it was: the archive is compared above
        QFile file(target);
        if (name == ResourceName)
            return;
        QCOMPARE(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray(), there);
        return;
    }
    // The table as read, with the one pixel painted white: glyph 18 is the second of the second
    // band, its pixel 3 at (10, 16) of the image, byte 2,059.
    QImageReader reader(target, "png");
    const QImage image = reader.read();
    QCOMPARE(image.size(), QSize(128, 96));
    QCOMPARE(image.format(), QImage::Format_Grayscale8);
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 128; ++x) {
            const int i = 128 * y + x + 1;
            QCOMPARE(image.constScanLine(y)[x], i == 2'059 ? 255 : quint8(i * 37 + i / 256));
        }
}

// The preview window shows, in its colours, the bytes the table holds after every change.
void TestMainWindow::preview_data()
{
    QTest::addColumn<int>("zoom");
    QTest::addColumn<QColor>("ink");
    QTest::addColumn<QColor>("background");
    QTest::newRow("1 x, white on black") << 1 << QColor(Qt::white) << QColor(Qt::black);
    QTest::newRow("3 x, white on black") << 3 << QColor(Qt::white) << QColor(Qt::black);
    QTest::newRow("1 x, colours") << 1 << QColor(250, 40, 0) << QColor(0, 60, 90);
    QTest::newRow("3 x, black on white") << 3 << QColor(Qt::black) << QColor(Qt::white);
}

void TestMainWindow::preview()
{
    QFETCH(int, zoom);
    QFETCH(QColor, ink);
    QFETCH(QColor, background);
    const QByteArray archive = QFile::encodeName(m_dir.filePath(ResourceName));
    createArchive(archive, makeTable(7));
    QApplication::setActiveWindow(m_window.get());
    QTest::keySequence(m_window.get(), QKeySequence("Ctrl+P"));
    auto *window = m_window->findChild<PreviewWindow *>("Preview");
    QVERIFY(window && window->isVisible() && window->windowTitle() == "Preview");
    QCOMPARE(m_window->findChildren<PreviewWindow *>().size(), 1);
    TextPreview *view = window->preview();
    QCOMPARE(view->accessibleDescription(), "Please read san11res.bin first.");
    // Every character with a glyph, a line of one that has none, and a short line.
    QString text;
    for (char32_t c = 32; c < 127; ++c)
        text += QChar(c);
    text += QString::fromUtf8("\u2302\nA\u00e9B\n\x7f");
    window->findChild<QPlainTextEdit *>("PreviewText")->setPlainText(text);
    auto *zoomBox = window->findChild<QComboBox *>("PreviewZoom");
    zoomBox->setCurrentIndex(zoomBox->findData(zoom));
    view->setColors(ink, background);
    QVERIFY(window->findChild<QLabel *>("PreviewMissing")->text().contains("U+00E9"));

    // Glyph by glyph, each pixel of a glyph a block of whole device pixels in the gray of its
    // byte, or between background and ink by its level on other colours.
    auto glyphs = QList<QList<int>>{{}, {34, 0, 35}, {96}};
    for (int g = 1; g <= 96; ++g)
        glyphs[0] << g;
    auto check = [&](const char *when) {
        const EditorState &state = m_window->state();
        const int n = std::max(1, int(std::lround(zoom * view->devicePixelRatioF())));
        // At fractional scales the widget's last logical pixel may reach past the text.
        const QImage shot = view->grab()
                                .toImage()
                                .convertToFormat(QImage::Format_RGB32)
                                .copy(0, 0, 96 * 8 * n, 3 * 16 * n);
        QVERIFY(view->width() * view->devicePixelRatioF() - shot.width() < 1);
        auto mix = [](int from, int to, int level) {
            return (from * (255 - level) + to * level + 127) / 255;
        };
        for (int y = 0; y < shot.height(); y += 1 + (n > 1))
            for (int x = 0; x < shot.width(); x += 1 + (n > 1)) {
                const int line = y / (16 * n), column = x / (8 * n);
                const int g = glyphs[line].value(column, 1); // short lines end in spaces
                if (g == 0)
                    continue; // a frame
                const int level =
                    state.FontTable.byte(pixelPosition(g, 8 * (y / n % 16) + x / n % 8 + 1));
                const QRgb want = qRgb(mix(background.red(), ink.red(), level),
                                       mix(background.green(), ink.green(), level),
                                       mix(background.blue(), ink.blue(), level));
                if (shot.pixel(x, y) != want)
                    QFAIL(qPrintable(QString("%1: %2, %3").arg(when).arg(x).arg(y)));
            }
    };
    find<QAction>("Read")->trigger();
    QCOMPARE(view->accessibleDescription(), text);
    check("after Read");
    // A paint of pixel 9 of A with the pen at 255, undone, then another program's change read.
    QTest::mouseClick(m_table, Qt::LeftButton, {}, m_table->cellRect(34).center());
    QTest::mouseClick(m_editor, Qt::LeftButton, {}, m_editor->cellRect(9).center());
    QCOMPARE(m_window->state().FontTable.byte(4'097 + 8 + 128), 255); // band 2, column 1
    check("after a paint");
    QTest::keySequence(m_window.get(), QKeySequence("Ctrl+Z"));
    check("after an undo");
    QVERIFY(writeAt(archive, TableOffset + 4'096 + 8 + 128, "\x80"));
    find<QAction>("Read")->trigger();
    QCOMPARE(m_window->state().FontTable.byte(4'097 + 8 + 128), 0x80);
    check("after a Read");
    // The same text through tessora-png, at 1 x, white on black, pixel for pixel.
    if (zoom == 1 && ink == Qt::white &&
        QGuiApplication::primaryScreen()->devicePixelRatio() == 1) {
        const QString png = m_dir.filePath("preview.png");
        text.remove(QString::fromUtf8("\u00e9"));
        glyphs[1].removeAt(1);
        QCOMPARE(QProcess::execute(TESSORA_PNG,
                                   {"preview", "--quiet", m_dir.filePath(ResourceName), text, png}),
                 0);
        window->findChild<QPlainTextEdit *>("PreviewText")->setPlainText(text);
        QCOMPARE(view->grab().toImage().convertToFormat(QImage::Format_Grayscale8),
                 QImage(png).convertToFormat(QImage::Format_Grayscale8));
    }
    // Esc closes it; Ctrl+P shows the same window again.
    QApplication::setActiveWindow(window);
    QCOMPARE(QApplication::focusWidget(), window->findChild<QPlainTextEdit *>("PreviewText"));
    QTest::keyClick(window->findChild<QPlainTextEdit *>("PreviewText"), Qt::Key_Escape);
    QVERIFY(!window->isVisible());
    QTest::keySequence(m_window.get(), QKeySequence("Ctrl+P"));
    QVERIFY(window->isVisible() && m_window->findChildren<PreviewWindow *>().size() == 1);
}

// Random steps through the real window, each checked after it. A failure names its random
// start; TESSORA_SEED replays it.
void TestMainWindow::randomSessions()
{
    const quint32 seed = qEnvironmentVariable("TESSORA_SEED", "20261207").toUInt();
    for (int session = 0; session < 8; ++session) {
        if (session > 0) {
            cleanup();
            init();
        }
        m_random.seed(seed + session);
        for (int n = 1; n <= 64 && !QTest::currentTestFailed(); ++n) {
            step();
            check(QString("TESSORA_SEED=%1, session %2, step %3").arg(seed).arg(session).arg(n));
        }
    }
}

void TestMainWindow::step()
{
    // A cell clicked, or double-clicked, which acts as one click; now and then a release follows
    // whose press went elsewhere (it closed a menu, say), which is no click either.
    auto clickCell = [&](CellGrid *grid, int index) {
        const QPoint at = grid->cellRect(index).center();
        QTest::mouseClick(grid, Qt::LeftButton, {}, at);
        m_marked[grid == m_editor] = index; // the keyboard follows the mouse
        if (any(4) == 0)
            QTest::mouseDClick(grid, Qt::LeftButton, {}, at);
        if (any(4) == 0)
            QTest::mouseRelease(grid, Qt::LeftButton, {}, at);
    };
    auto tabTo = [](QWidget *widget) {
        widget->setFocus(Qt::TabFocusReason);
        return widget;
    };
    const int k = any(PixelsPerGlyph) + 1, g = any(GlyphCount) + 1;
    auto *bar = find<QScrollBar>("HScroll1");
    auto *pickColor = find<QPushButton>("PickColor");
    switch (any(18)) {
    case 0: { // the archive appears; what becomes of it later is the editor's own test
        const FontTable table = makeTable(m_random.generate() | 1);
        for (const QTemporaryDir *dir : {&m_dir, &m_shadowDir})
            if (!QFile::exists(dir->filePath(ResourceName)))
                createArchive(QFile::encodeName(dir->filePath(ResourceName)), table);
        break;
    }
    case 1: // by the mouse, or from the keyboard, after which Esc must still end picking
        if (!m_about && any(2)) { // the keyboard is the active window's, and About would hide
            QApplication::setActiveWindow(m_window.get());
            QWidget *had = QApplication::focusWidget(); // has the keyboard back after the menu
            QTest::keyClick(m_window.get(), Qt::Key_F10);
            QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Return);
            if (QApplication::activeWindow() == m_window.get()) // not after a message
                QCOMPARE(QApplication::focusWidget(), had);
        } else {
            find<QAction>("Read")->trigger();
        }
        say(outcomeMessage(m_shadow->read()));
        break;
    case 2:
        find<QAction>("Save")->trigger();
        say(outcomeMessage(m_shadow->save(), true));
        break;
    case 3: // a glyph: by the mouse, or a screen reader's press
        if (any(3))
            clickCell(m_table, g);
        else
            QAccessible::queryAccessibleInterface(m_table)
                ->child(g - 1)
                ->actionInterface()
                ->doAction(QAccessibleActionInterface::pressAction());
        say(outcomeMessage(m_shadow->loadGlyph(g)));
        break;
    case 4: { // the pen: its arrows by mouse, and keys
        const int move = any(10), pen = m_shadow->penLevel();
        const Qt::Key keys[] = {Qt::Key_Home, Qt::Key_End,  Qt::Key_PageUp, Qt::Key_PageDown,
                                Qt::Key_Left, Qt::Key_Down, Qt::Key_Right,  Qt::Key_Up};
        if (move < 2)
            QTest::mouseClick(bar, Qt::LeftButton, {}, {move ? bar->width() - 4 : 3, 10});
        else
            QTest::keyClick(tabTo(bar), keys[move - 2]);
        const int to[] = {-1, 1, -pen, 255 - pen, 16, -16, -1, -1, 1, 1};
        m_shadow->setPenLevel(std::clamp(pen + to[move], 0, 255));
        break;
    }
    case 5: // the eyedropper, clicked or from the keyboard
        if (any(2))
            QTest::mouseClick(pickColor, Qt::LeftButton);
        else
            QTest::keyClick(tabTo(pickColor), Qt::Key_Space);
        m_shadow->enterPickMode();
        break;
    case 6:
        if (any(2))
            find<QAction>("SGViewer")->trigger(), m_shadow->toggleViewerGridlines();
        else
            find<QAction>("SGEditor")->trigger(), m_shadow->toggleEditorGridlines();
        break;
    case 7: // About opened, or closed with OK, Enter, Esc or its close box
        if (QPointer<QWidget> about = aboutWindows().value(0); m_about && any(2) && about) {
            if (const int how = any(4); how == 0)
                QTest::mouseClick(about->findChild<QPushButton *>("cmdOK"), Qt::LeftButton);
            else if (how == 3)
                about->close();
            else { // the keys of the window the user has brought to the front
                QApplication::setActiveWindow(about);
                QTest::keyClick(about, how == 1 ? Qt::Key_Return : Qt::Key_Escape);
            }
            QTRY_VERIFY(about.isNull()); // destroyed, and made anew by the next About
            m_about = false;
        } else {
            find<QAction>("About")->trigger();
            m_about = true;
        }
        break;
    case 8: // covered and shown again, the grids draw what the state holds
        m_window->hide();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        break;
    case 9:
        find<QAction>("Exit")->trigger();
        m_exitsWanted++;
        m_about = false;
        break;
    case 10:
    case 11: { // the keyboard in the table or the editor: arrows, then Space or Enter
        // Every other walk runs into a corner, each grid's four in turn, and on against both its
        // edges, then wanders.
        const int walk = any(2) ? m_walks++ : -1;
        const int which = walk < 0 ? any(2) : walk % 2, columns = which ? 8 : 16;
        const int across = walk / 2 % 2, down = 2 + walk / 4 % 2; // for a walk into a corner
        CellGrid *grid = which ? static_cast<CellGrid *>(m_editor) : m_table;
        int &mark = m_marked[which];
        tabTo(grid);
        for (int n = walk < 0 ? any(16) : 48; n > 0; --n) {
            const int key = n > 16 ? (n % 2 ? across : down) : any(4);
            const int column = (mark - 1) % columns + std::array{-1, 1, 0, 0}[key];
            const int row = (mark - 1) / columns + std::array{0, 0, -1, 1}[key];
            QTest::keyClick(grid,
                            std::array{Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down}[key]);
            if (column >= 0 && column < columns && row >= 0 && row < grid->count() / columns)
                mark = row * columns + column + 1;
        }
        QTest::keyClick(grid, any(2) ? Qt::Key_Space : Qt::Key_Return);
        say(which ? refusalMessage(m_shadow->clickPixel(mark).refusal)
                  : outcomeMessage(m_shadow->loadGlyph(mark)));
        break;
    }
    case 12: { // Esc, wherever the keyboard is
        if (m_about)
            break;
        QWidget *places[] = {m_window.get(), m_table, m_editor, bar, pickColor};
        QApplication::setActiveWindow(m_window.get());
        QTest::keyClick(tabTo(places[any(5)]), Qt::Key_Escape);
        m_shadow->endPickMode();
        break;
    }
    case 13: { // a stroke of two quick moves; the editor is given the cells the grid reports
        const int turn = any(PixelsPerGlyph) + 1, end = any(PixelsPerGlyph) + 1;
        QSignalSpy entered(m_editor, &CellGrid::cellEntered);
        QTest::mousePress(m_editor, Qt::LeftButton, {}, m_editor->cellRect(k).center());
        m_marked[1] = k;
        QTest::mouseMove(m_editor, m_editor->cellRect(turn).center());
        const qsizetype line = entered.size();
        QTest::mouseMove(m_editor, m_editor->cellRect(end).center());
        const QPoint out(-40, m_editor->cellRect(end).center().y()); // along the row, and out
        QTest::mouseMove(m_editor, out);
        QTest::mouseRelease(m_editor, Qt::LeftButton, {}, out);
        const FontEditor::PixelClick press = m_shadow->clickPixel(k);
        say(refusalMessage(press.refusal));
        for (int i = 0; press.painted && i < entered.size(); ++i)
            m_shadow->paint(entered[i][0].toInt());
        // However fast the move, each cell of the first line once, each a neighbour of the last;
        // no cell twice in a stroke, and none outside the grid.
        auto steps = [](int a, int b) { // the king's moves between two cells
            return std::max(std::abs((a - 1) % 8 - (b - 1) % 8),
                            std::abs((a - 1) / 8 - (b - 1) / 8));
        };
        QCOMPARE(line, steps(k, turn));
        QSet<int> cells{k};
        for (int i = 0, last = k; i < entered.size(); last = entered[i++][0].toInt()) {
            QVERIFY(i >= line || steps(last, entered[i][0].toInt()) == 1);
            QVERIFY(entered[i][0].toInt() >= 1 && !cells.contains(entered[i][0].toInt()));
            cells << entered[i][0].toInt();
        }
        // After the turn, the stroke's cells hold a line as short as can be from the turn to the
        // end: no gap, wherever the second line crosses the first.
        QSet<int> reached{turn};
        for (int n = 0; n < steps(turn, end); ++n)
            for (const int c : QSet<int>(reached))
                for (const int d : cells)
                    if (steps(c, d) == 1 && steps(d, end) < steps(c, end))
                        reached << d;
        QVERIFY(reached.contains(end));
        break;
    }
    case 14:
    case 15: { // undo, redo, copy or paste, from the keys anywhere or from a grid's context menu
        const char *names[] = {"Undo", "Redo", "CopyGlyph", "PasteGlyph", "ShowPreview"};
        const int command = any(5);
        if (command == 3 && any(4) == 0) { // an image from elsewhere, refused for a colour
            QImage coloured(8, 16, QImage::Format_RGB32);
            coloured.fill(qRgb(9, 9, 9));
            coloured.setPixel(any(8), any(16), qRgb(9, 9, 10));
            QGuiApplication::clipboard()->setImage(coloured);
        }
        const QImage clipboard = QGuiApplication::clipboard()->image();
        QApplication::setActiveWindow(m_window.get());
        if (any(2)) {
            const QKeySequence keys = find<QAction>(names[command])->shortcuts().value(any(2));
            QTest::keySequence(
                tabTo(std::array<QWidget *, 3>{m_window.get(), m_table, bar}[any(3)]),
                keys.isEmpty() ? find<QAction>(names[command])->shortcut() : keys);
        } else {
            CellGrid *grid = any(2) ? static_cast<CellGrid *>(m_table) : m_editor;
            // The menu's items greyed out where they cannot act.
            const bool glyph = m_shadow->copyGlyph().has_value();
            const QList<bool> able = {m_shadow->canUndo(), m_shadow->canRedo(), glyph,
                                      glyph && !clipboard.isNull(), true};
            QList<bool> shown;
            QTimer::singleShot(0, this, [&] {
                auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
                for (QAction *action : menu ? menu->actions() : QList<QAction *>())
                    shown << action->isEnabled();
                if (menu)
                    QTest::mouseClick(menu, Qt::LeftButton, {},
                                      menu->actionGeometry(menu->actions()[command]).center());
                if (menu && menu->isVisible())
                    menu->close();
            });
            // A right click, as the window system reports it; the right button itself does nothing.
            const QPoint at = grid->cellRect(k).center();
            QTest::mouseClick(grid, Qt::RightButton, {}, at);
            QContextMenuEvent event(QContextMenuEvent::Mouse, at, grid->mapToGlobal(at));
            QApplication::sendEvent(grid, &event);
            QCOMPARE(shown, able);
        }
        FontEditor::ImageProblem why;
        const auto glyph = command == 3 ? FontEditor::fromImage(clipboard, why) : std::nullopt;
        if (command < 2)
            command ? m_shadow->redo() : m_shadow->undo();
        else if (command == 3 && m_shadow->copyGlyph() && !clipboard.isNull())
            glyph ? void(m_shadow->pasteGlyph(*glyph)) : say(imageMessage(why));
        if (auto *text = m_window->findChild<QPlainTextEdit *>("PreviewText"); command == 4) {
            QString every;
            for (int g = 1; g <= GlyphCount; ++g)
                every += g < GlyphCount ? QChar(g + 31) : QChar(0x2302);
            text->setPlainText(every);
            QApplication::setActiveWindow(m_window.get());
        }
        break;
    }
    default:
        clickCell(m_editor, k);
        say(refusalMessage(m_shadow->clickPixel(k).refusal));
    }
}

void TestMainWindow::check(const QString &where)
{
#define EXPECT(condition) QVERIFY2(condition, qPrintable(where + ": " #condition))
    const FontEditor &font = m_window->editor();
    const EditorState &state = font.state();
    auto rules = [](const FontEditor &f) {
        const EditorState &s = f.state();
        const FontEditor::Gridlines v = f.viewerGridlines(), e = f.editorGridlines();
        return std::tuple(s.FontTable, s.TableLoaded, s.SelectedGlyph, s.SelectedPixel,
                          s.PixelValues, s.PickMode, s.PenColor, f.penLevel(), v.enabled, v.checked,
                          v.borders, e.enabled, e.checked, e.borders);
    };
    EXPECT(rules(font) == rules(*m_shadow));
    EXPECT(m_messages == m_said && m_plainMessages);
    EXPECT(m_exits->count() == m_exitsWanted && aboutWindows().size() == int(m_about));
    EXPECT(Snapshot::of(QFile::encodeName(m_dir.filePath(ResourceName))) ==
           Snapshot::of(QFile::encodeName(m_shadowDir.filePath(ResourceName))));

    // An open preview shows the table as it is now: its first line is every glyph.
    if (auto *preview = m_window->findChild<TextPreview *>(); preview && preview->isVisible()) {
        const QImage shot = preview->grab().toImage().convertToFormat(QImage::Format_Grayscale8);
        const int n = preview->blockSize();
        for (int g = 1; g <= GlyphCount && state.TableLoaded; ++g)
            for (int k = 1; k <= PixelsPerGlyph; ++k)
                EXPECT(shot.constScanLine(pixelRow(k) * n)[((g - 1) * 8 + pixelColumn(k)) * n] ==
                       state.FontTable.byte(pixelPosition(g, k)));
    }

    // What the widgets show of the state.
    for (const auto &[item, shown] : {std::pair(find<QAction>("SGViewer"), font.viewerGridlines()),
                                      std::pair(find<QAction>("SGEditor"), font.editorGridlines())})
        EXPECT(item->isEnabled() == shown.enabled && item->isChecked() == shown.checked);
    EXPECT(find<QPushButton>("PickColor")->isChecked() == state.PickMode);
    EXPECT(find<QScrollBar>("HScroll1")->value() == font.penLevel() &&
           find<QLabel>("PenNumber")->text() == QString::number(font.penLevel()));
    EXPECT(m_editor->cursor().shape() == (state.PickMode ? Qt::WhatsThisCursor : Qt::ArrowCursor));
    EXPECT(QAccessible::queryAccessibleInterface(m_table)
               ->child(31)
               ->text(QAccessible::Description)
               .startsWith("Row 2, column 16 of the font table"));
    QAccessibleInterface *cell = QAccessible::queryAccessibleInterface(m_editor)->child(8);
    EXPECT(
        cell->text(QAccessible::Description).contains(state.PickMode ? "take its level" : "paint"));
    EXPECT(cell->text(QAccessible::Name)
               .endsWith(state.SelectedGlyph ? QString(", level %1").arg(state.PixelValues[8])
                                             : " 9"));

    // The pixels on the screen. Design pixels become device pixels by rounding p * scale; a table
    // square covers 3 design pixels of a 4-pixel pitch, the lanes the fourth.
    const qreal s = m_window->devicePixelRatioF();
    // What was painted and flushed, not a fresh rendering: a cell not redrawn when it changed
    // shows here as it is on the screen.
    QCoreApplication::processEvents();
    QEvent paintNow(QEvent::UpdateRequest); // instead of waiting for the next frame
    QCoreApplication::sendEvent(m_window->windowHandle(), &paintNow);
    QPaintDevice *screen = m_window->backingStore()->paintDevice();
    QVERIFY(screen->devType() == QInternal::Image);
    const QImage shot = static_cast<QImage *>(screen)->convertToFormat(QImage::Format_RGB32);
    auto device = [s](qreal p) {
        return int(std::lround(p * s));
    };
    auto origin = [&](QWidget *widget, QPoint at) { // in device pixels of the window
        const QPoint p = widget->mapTo(m_window.get(), at);
        return QPoint(device(p.x()), device(p.y()));
    };
    auto gray = [](int level) {
        return qRgb(level, level, level);
    };
    const QRgb blank = m_editor->palette().color(QPalette::Base).rgb();
    EXPECT(shot.pixel(origin(find("PenPictureBox"), {10, 10})) == gray(font.penLevel()));
    std::vector<int> square(device(64)); // the square's row or column a device pixel is in
    for (int p = 0; p < 64; p += 4)
        for (int i = device(p); i < device(p + 4); ++i)
            square[i] = i < device(p + 3) ? p / 4 : -1;
    // A cell's corner is its border's, and every device pixel of its drawing area, up to the
    // neighbour's border, shows the state.
    auto scan = [&](CellGrid *grid, int which, int index, bool border, QSize area, auto want) {
        if (QTest::currentTestFailed())
            return; // one failure is enough
        const QRect rect = grid->cellRect(index);
        const QPoint o = origin(grid, rect.topLeft() + QPoint(border, border));
        const QPoint end = origin(grid, rect.bottomRight());
        const QPoint corner = origin(grid, rect.topLeft());
        // The top edge up to the neighbour: the border, or the keyboard's mark, a black ring with
        // a white one inside.
        const QRgb *top = reinterpret_cast<const QRgb *>(shot.constScanLine(corner.y()));
        const QSet<QRgb> edge(top + corner.x(), top + origin(grid, rect.topRight()).x());
        if (grid->hasFocus() && m_marked[which] == index) {
            const int w = std::max(1, int(s));
            EXPECT(edge == QSet<QRgb>{qRgb(0, 0, 0)} &&
                   shot.pixel(corner + QPoint(w, w)) == qRgb(255, 255, 255));
            return; // the mark covers the cell's outer pixels
        }
        EXPECT(!border || edge == QSet<QRgb>{qRgb(0, 0, 0)});
        EXPECT(shot.pixel(corner) == (border ? qRgb(0, 0, 0) : want(0, 0)));
        for (int j = 0; j < std::min(area.height(), end.y() - o.y()); ++j) {
            const QRgb *row = reinterpret_cast<const QRgb *>(shot.constScanLine(o.y() + j));
            for (int i = 0; i < std::min(area.width(), end.x() - o.x()); ++i)
                if ((row[o.x() + i] & 0xffffff) != (want(i, j) & 0xffffff))
                    QFAIL(qPrintable(where +
                                     QString(": cell %1 at %2, %3").arg(index).arg(i).arg(j)));
        }
    };
    for (int g = 1; g <= GlyphCount; ++g)
        scan(m_table, 0, g, font.viewerGridlines().borders, {device(32), device(64)},
             [&](int i, int j) {
                 return !state.TableLoaded || square[i] < 0 || square[j] < 0
                            ? blank
                            : gray(state.FontTable.byte(
                                  pixelPosition(g, 8 * square[j] + square[i] + 1)));
             });
    for (int k = 1; k <= PixelsPerGlyph; ++k)
        scan(
            m_editor, 1, k, font.editorGridlines().borders, {device(20), device(20)},
            [&](int, int) { return state.SelectedGlyph ? gray(state.PixelValues[k - 1]) : blank; });
#undef EXPECT
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
