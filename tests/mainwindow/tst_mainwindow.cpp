#include "mainwindow/mainwindow.h"
#include "mainwindow/picturecell.h"

#include "support/archive.h"
#include "support/messagecatcher.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace fonttable;
using testsupport::MessageCatcher;
using testsupport::Snapshot;

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layoutFollowsTheDesign();
    void menusAtStart();
    void readShowsEveryByteOfTheTable();
    void gridlineItemSwitchesTheTableBorders();
    void secondReadRedrawsAChangedArchive();
    void saveBeforeReadIsRefused();
    void saveAfterReadSucceedsSilently();
    void failedReadBeforeAnyReadKeepsTheStart_data();
    void failedReadBeforeAnyReadKeepsTheStart();
    void failedReadAfterAReadKeepsTheTable();
    void failedSaveIsReported();
    void exitAsksNothing();

private:
    QString archive() const { return m_dir->filePath(QLatin1String(ResourceName)); }
    QAction *item(const char *name) const { return m_window->findChild<QAction *>(name); }
    PictureCell *viewer(int glyph) const
    {
        return m_window->findChild<PictureCell *>(QStringLiteral("Viewer(%1)").arg(glyph));
    }
    void read() { item("Read")->trigger(); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MainWindow> m_window;
};

namespace
{

QRgb gray(quint8 value)
{
    return qRgb(value, value, value);
}

// Checks every device pixel of a table cell shown at scale 1 without a border: each pixel a
// 3 x 3 square in the gray of its byte, with 1-pixel lanes of the background between.
void verifyGlyph(PictureCell *cell, const FontTable &table, int glyph)
{
    const QImage image = cell->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(image.size(), QSize(34, 66));
    const QRgb background = cell->background().rgb();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const bool inSquare = x < 32 && y < 64 && x % 4 != 3 && y % 4 != 3;
            const QRgb expected =
                inSquare ? gray(table.byte(pixelPosition(glyph, (y / 4) * 8 + x / 4 + 1)))
                         : background;
            if (image.pixel(x, y) != expected)
                QFAIL(qPrintable(QStringLiteral("glyph %1, pixel (%2, %3): %4 instead of %5")
                                     .arg(glyph)
                                     .arg(x)
                                     .arg(y)
                                     .arg(image.pixel(x, y), 0, 16)
                                     .arg(expected, 0, 16)));
        }
    }
}

QList<QImage> tableImages(MainWindow *window)
{
    QList<QImage> images;
    for (int g = 1; g <= GlyphCount; ++g)
        images << window->findChild<PictureCell *>(QStringLiteral("Viewer(%1)").arg(g))
                      ->grab()
                      .toImage();
    return images;
}

} // namespace

void TestMainWindow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_window = std::make_unique<MainWindow>(m_dir->path());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestMainWindow::cleanup()
{
    m_window.reset();
    m_dir.reset();
}

void TestMainWindow::layoutFollowsTheDesign()
{
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Tessora"));
    QCOMPARE(m_window->centralWidget()->size(), QSize(728, 419));
    QCOMPARE(m_window->minimumSize(), m_window->maximumSize());
    QVERIFY(!(m_window->windowFlags() & Qt::WindowMinMaxButtonsHint));

    const QWidget *client = m_window->centralWidget();
    auto at = [client](const QWidget *widget) {
        return QRect(widget->mapTo(client, QPoint()), widget->size());
    };
    // Twips / 15, with the 15-twip overlap between neighbouring cells.
    QCOMPARE(at(viewer(1)), QRect(16, 15, 34, 66));
    QCOMPARE(at(viewer(2)), QRect(49, 15, 34, 66));
    QCOMPARE(at(viewer(17)), QRect(16, 80, 34, 66));
    QCOMPARE(at(viewer(96)), QRect(16 + 15 * 33, 15 + 5 * 65, 34, 66));
    auto editor = [this](int k) {
        return m_window->findChild<PictureCell *>(QStringLiteral("Editor(%1)").arg(k));
    };
    QCOMPARE(at(editor(1)), QRect(560, 15, 20, 20));
    QCOMPARE(at(editor(128)), QRect(560 + 7 * 19, 15 + 15 * 19, 20, 20));
    QCOMPARE(at(m_window->findChild<QWidget *>("PenPictureBox")), QRect(560, 344, 20, 20));
    QCOMPARE(at(m_window->findChild<QWidget *>("HScroll1")), QRect(584, 344, 113, 20));
    QCOMPARE(at(m_window->findChild<QWidget *>("PenNumber")), QRect(704, 347, 20, 20));
    QCOMPARE(at(m_window->findChild<QWidget *>("PickColor")), QRect(616, 373, 41, 33));

    const auto *pen = m_window->findChild<QScrollBar *>("HScroll1");
    QCOMPARE(pen->minimum(), 0);
    QCOMPARE(pen->maximum(), 255);
    QCOMPARE(pen->value(), 255);
    QCOMPARE(m_window->findChild<QLabel *>("PenNumber")->text(), QStringLiteral("255"));
    QCOMPARE(m_window->findChild<QPushButton *>("PickColor")->toolTip(),
             QStringLiteral("Pick Color"));
    QCOMPARE(m_window->state().PenColor, grayColor(255));
}

void TestMainWindow::menusAtStart()
{
    const QStringList captions = {"File", "Read", "Save", "Exit", "View", "ShowGridlines", "About"};
    for (const QString &name : captions) {
        QAction *action = item(name.toLatin1().constData());
        QVERIFY2(action, qPrintable(name));
        QVERIFY(action->isEnabled());
        QVERIFY(action->shortcut().isEmpty());
        QVERIFY(!action->text().contains(QLatin1Char('&')));
    }
    QCOMPARE(item("ShowGridlines")->text(), QStringLiteral("Show Gridlines"));
    QCOMPARE(item("SGViewer")->text(), QStringLiteral("Viewer"));
    QCOMPARE(item("SGEditor")->text(), QStringLiteral("Editor"));
    for (const char *name : {"SGViewer", "SGEditor"}) {
        QVERIFY(item(name)->isChecked());
        QVERIFY(!item(name)->isEnabled());
    }
    QVERIFY(!item("About")->menu());
    QVERIFY(viewer(1)->hasBorder());
    QVERIFY(!m_window->state().TableLoaded);
}

void TestMainWindow::readShowsEveryByteOfTheTable()
{
    const FontTable table = testsupport::patternTable();
    testsupport::createArchive(archive(), table);
    MessageCatcher messages;
    read();
    QVERIFY(messages.messages().isEmpty());

    QVERIFY(m_window->state().TableLoaded);
    QVERIFY(m_window->state().FontTable == table);
    QCOMPARE(m_window->state().ResourcePath, archive());
    QVERIFY(item("SGViewer")->isEnabled());
    QVERIFY(item("SGViewer")->isChecked());
    QVERIFY(!item("SGEditor")->isEnabled());
    for (int g = 1; g <= GlyphCount; ++g) {
        QVERIFY(!viewer(g)->hasBorder());
        verifyGlyph(viewer(g), table, g);
        if (QTest::currentTestFailed())
            return;
    }
}

void TestMainWindow::gridlineItemSwitchesTheTableBorders()
{
    FontTable black;
    testsupport::createArchive(archive(), black);
    read();
    QAction *sgViewer = item("SGViewer");

    sgViewer->trigger();
    QVERIFY(!sgViewer->isChecked());
    for (int g = 1; g <= GlyphCount; ++g)
        QVERIFY(viewer(g)->hasBorder());
    // The drawing stays and moves inside the border: a black line, then the first square.
    const QImage bordered = viewer(17)->grab().toImage();
    QCOMPARE(bordered.pixel(0, 10), qRgb(0, 0, 0));
    QCOMPARE(bordered.pixel(1, 1), gray(0));
    QCOMPARE(bordered.pixel(4, 4), viewer(17)->background().rgb());

    sgViewer->trigger();
    QVERIFY(sgViewer->isChecked());
    for (int g = 1; g <= GlyphCount; ++g)
        QVERIFY(!viewer(g)->hasBorder());
    verifyGlyph(viewer(17), black, 17);

    // Hiding and showing the window again repaints from what the cells keep.
    m_window->hide();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    verifyGlyph(viewer(96), black, 96);
}

void TestMainWindow::secondReadRedrawsAChangedArchive()
{
    testsupport::createArchive(archive(), testsupport::patternTable());
    read();
    FontTable changed = testsupport::patternTable();
    for (int position : {1, 2048, 2049, TableSize})
        changed.setByte(position, ~changed.byte(position));
    QVERIFY(QFile::remove(archive()));
    testsupport::createArchive(archive(), changed);

    read();
    QVERIFY(m_window->state().FontTable == changed);
    for (int g : {1, 16, 17, 96})
        verifyGlyph(viewer(g), changed, g);
}

void TestMainWindow::saveBeforeReadIsRefused()
{
    testsupport::createArchive(archive(), testsupport::patternTable());
    const Snapshot before = Snapshot::of(archive());
    MessageCatcher messages;
    item("Save")->trigger();

    QCOMPARE(messages.messages().size(), 1);
    const MessageCatcher::Message &message = messages.messages().front();
    QCOMPARE(message.text, QStringLiteral("Please read san11res.bin first."));
    QCOMPARE(message.title, QString());
    QCOMPARE(message.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(message.icon, QMessageBox::NoIcon);
    QVERIFY(Snapshot::of(archive()) == before);
}

void TestMainWindow::saveAfterReadSucceedsSilently()
{
    testsupport::createArchive(archive(), testsupport::patternTable());
    const Snapshot before = Snapshot::of(archive());
    MessageCatcher messages;
    read();
    item("Save")->trigger();
    QVERIFY(messages.messages().isEmpty());
    QVERIFY(Snapshot::of(archive()) == before);
}

void TestMainWindow::failedReadBeforeAnyReadKeepsTheStart_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing") << "missing";
    QTest::newRow("one byte short") << "short";
    QTest::newRow("folder") << "folder";
}

void TestMainWindow::failedReadBeforeAnyReadKeepsTheStart()
{
    QFETCH(QString, kind);
    if (kind == QLatin1String("short"))
        testsupport::createArchive(archive(), testsupport::patternTable(), MinimumArchiveSize - 1);
    if (kind == QLatin1String("folder"))
        QVERIFY(QDir(m_dir->path()).mkdir(QLatin1String(ResourceName)));
    const Snapshot before = Snapshot::of(archive());
    const QList<QImage> shown = tableImages(m_window.get());

    MessageCatcher messages;
    read();
    QCOMPARE(messages.messages().size(), 1);
    QVERIFY2(messages.messages().front().text.contains(archive()),
             qPrintable(messages.messages().front().text));
    QCOMPARE(messages.messages().front().title, QString());

    QVERIFY(!m_window->state().TableLoaded);
    QVERIFY(m_window->state().ResourcePath.isEmpty());
    QVERIFY(m_window->state().FontTable == FontTable());
    QVERIFY(!item("SGViewer")->isEnabled());
    QVERIFY(viewer(1)->hasBorder());
    QVERIFY(tableImages(m_window.get()) == shown);
    QVERIFY(Snapshot::of(archive()) == before);

    // Save still refuses, and creates nothing.
    item("Save")->trigger();
    QCOMPARE(messages.texts().last(), QStringLiteral("Please read san11res.bin first."));
    QVERIFY(Snapshot::of(archive()) == before);
}

void TestMainWindow::failedReadAfterAReadKeepsTheTable()
{
    const FontTable table = testsupport::patternTable();
    testsupport::createArchive(archive(), table);
    read();
    item("SGViewer")->trigger(); // borders on, check mark off
    const QList<QImage> shown = tableImages(m_window.get());

    QVERIFY(QFile::resize(archive(), MinimumArchiveSize - 1));
    MessageCatcher messages;
    read();
    QCOMPARE(messages.messages().size(), 1);
    QVERIFY(messages.texts().front().contains(QLatin1String("too short")));
    QVERIFY(m_window->state().FontTable == table);
    QCOMPARE(m_window->state().ResourcePath, archive());
    QCOMPARE(m_window->state().ResourceSize, MinimumArchiveSize);
    QVERIFY(!item("SGViewer")->isChecked());
    QVERIFY(viewer(1)->hasBorder());
    QVERIFY(tableImages(m_window.get()) == shown);
}

void TestMainWindow::failedSaveIsReported()
{
    FileCalls failingDisk;
    failingDisk.pwrite = [](int, const void *, size_t, off_t) -> ssize_t {
        errno = EIO;
        return -1;
    };
    m_window = std::make_unique<MainWindow>(m_dir->path(), failingDisk);
    testsupport::createArchive(archive(), testsupport::patternTable());
    const Snapshot before = Snapshot::of(archive());
    MessageCatcher messages;
    read();
    item("Save")->trigger();
    QCOMPARE(messages.messages().size(), 1);
    QVERIFY2(messages.texts().front().contains(QLatin1String("Input/output error")),
             qPrintable(messages.texts().front()));
    QVERIFY(Snapshot::of(archive()) == before);
}

void TestMainWindow::exitAsksNothing()
{
    QSignalSpy exit(m_window.get(), &MainWindow::exitRequested);
    MessageCatcher messages;
    item("Exit")->trigger();
    QCOMPARE(exit.count(), 1);
    QVERIFY(messages.messages().isEmpty());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
