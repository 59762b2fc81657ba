#include "mainwindow/testmainwindow.h"

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
