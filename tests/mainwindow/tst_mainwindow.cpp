#include "mainwindow/testmainwindow.h"

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
    QTest::newRow("not over a text") << 2 << "notes.png" << QByteArray("notes\n")
                                     << ": exists and is not a PNG image, so it is left as it is";
    QTest::newRow("not over the archive")
        << 2 << "san11res.bin" << QByteArray() << ": give a name that ends in .png";
    QTest::newRow("nor as its name") // should the archive be missing just now
        << 2 << "San11Res.bin" << QByteArray() << ": give a name that ends in .png";
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
    const bool exists = QFile::exists(target);

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
    if (answer == 2 && exists)
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

QTEST_MAIN(TestMainWindow)
