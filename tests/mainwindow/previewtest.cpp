#include "mainwindow/testmainwindow.h"

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
    FontTable expected = makeTable(7); // what the preview must show, changed as the test goes
    QApplication::setActiveWindow(m_window.get());
    QTest::keySequence(m_window.get(), QKeySequence("Ctrl+P"));
    auto *window = m_window->findChild<PreviewWindow *>("Preview");
    QVERIFY(window && window->isVisible() && window->windowTitle() == "Preview");
    QCOMPARE(m_window->findChildren<PreviewWindow *>().size(), 1);
    TextPreview *view = window->preview();
    QCOMPARE(view->accessibleDescription(), "Please read san11res.bin first.");
    QCOMPARE(view->layout().columns, 30); // the sample's first line, "Liu Bei, Guan Yu and ..."
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
                const int level = expected.byte((g - 1) / 16 * 2048 + (g - 1) % 16 * 8 +
                                                y / n % 16 * 128 + x / n % 8 + 1);
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
    expected.setByte(4'233, 255);
    check("after a paint");
    QTest::keySequence(m_window.get(), QKeySequence("Ctrl+Z"));
    expected = makeTable(7);
    check("after an undo");
    QVERIFY(writeAt(archive, TableOffset + 4'096 + 8 + 128, "\x80"));
    find<QAction>("Read")->trigger();
    QCOMPARE(m_window->state().FontTable.byte(4'097 + 8 + 128), 0x80);
    expected.setByte(4'233, 0x80);
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
