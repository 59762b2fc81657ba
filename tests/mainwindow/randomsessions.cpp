#include "mainwindow/testmainwindow.h"

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
            // Paste too, whatever the clipboard holds: asking would wait on its owner.
            const QList<bool> able = {m_shadow->canUndo(), m_shadow->canRedo(), glyph, glyph, true};
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
