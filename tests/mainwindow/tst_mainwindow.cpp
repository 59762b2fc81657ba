#include "mainwindow/mainwindow.h"
#include "mainwindow/picturecell.h"

#include "support/archive.h"
#include "support/faultydisk.h"
#include "support/messagecatcher.h"
#include "support/rendering.h"
#include "support/windowfixture.h"

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
    void saveFaults_data();
    void saveFaults();
    void exitAsksNothing();

private:
    QString archive() const { return m_f->archive(); }
    QAction *item(const char *name) const { return m_f->item(name); }
    PictureCell *viewer(int glyph) const { return m_f->viewer(glyph); }
    void read() { m_f->choose("Read"); }

    std::unique_ptr<testsupport::WindowFixture> m_f;
    MainWindow *m_window = nullptr;
};

namespace
{

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
    m_f = std::make_unique<testsupport::WindowFixture>();
    m_window = m_f->window();
}

void TestMainWindow::cleanup()
{
    m_f.reset();
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
    QCOMPARE(at(m_f->editor(1)), QRect(560, 15, 20, 20));
    QCOMPARE(at(m_f->editor(128)), QRect(560 + 7 * 19, 15 + 15 * 19, 20, 20));
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
        testsupport::verifyGlyphCell(viewer(g), table, g);
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
    QCOMPARE(bordered.pixel(1, 1), testsupport::gray(0));
    QCOMPARE(bordered.pixel(4, 4), viewer(17)->background().rgb());

    sgViewer->trigger();
    QVERIFY(sgViewer->isChecked());
    for (int g = 1; g <= GlyphCount; ++g)
        QVERIFY(!viewer(g)->hasBorder());
    testsupport::verifyGlyphCell(viewer(17), black, 17);

    // Hiding and showing the window again repaints from what the cells keep.
    m_window->hide();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    testsupport::verifyGlyphCell(viewer(96), black, 96);
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
        testsupport::verifyGlyphCell(viewer(g), changed, g);
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
    using testsupport::Fault;
    QTest::addColumn<QString>("kind");
    QTest::addColumn<Fault>("fault");
    QTest::newRow("missing") << "missing" << Fault::None;
    QTest::newRow("one byte short") << "short" << Fault::None;
    QTest::newRow("folder") << "folder" << Fault::None;
    QTest::newRow("read error") << "archive" << Fault::ReadError;
    QTest::newRow("read stops early") << "archive" << Fault::ReadStopsEarly;
}

void TestMainWindow::failedReadBeforeAnyReadKeepsTheStart()
{
    QFETCH(QString, kind);
    QFETCH(testsupport::Fault, fault);
    if (fault != testsupport::Fault::None) {
        m_f = std::make_unique<testsupport::WindowFixture>(testsupport::FaultyDisk(fault).calls());
        m_window = m_f->window();
        testsupport::createArchive(archive(), testsupport::patternTable());
    }
    if (kind == QLatin1String("short"))
        testsupport::createArchive(archive(), testsupport::patternTable(), MinimumArchiveSize - 1);
    if (kind == QLatin1String("folder"))
        QVERIFY(QDir(m_f->folder()).mkdir(QLatin1String(ResourceName)));
    const Snapshot before = Snapshot::of(archive());
    const QList<QImage> shown = tableImages(m_window);

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
    QVERIFY(tableImages(m_window) == shown);
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
    const QList<QImage> shown = tableImages(m_window);

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
    QVERIFY(tableImages(m_window) == shown);
}

void TestMainWindow::saveFaults_data()
{
    using testsupport::Fault;
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("says"); // empty: the Save succeeds silently
    QTest::newRow("I/O error") << Fault::WriteError << "Input/output error";
    QTest::newRow("short write") << Fault::WriteStopsEarly << "stopped after 6144 of 12288";
    QTest::newRow("no space left") << Fault::NoSpaceAfterPartialWrite << "No space left";
    QTest::newRow("interrupted, retried") << Fault::WriteInterrupted << "";
    QTest::newRow("flush fails") << Fault::FlushFails << "Flushing";
    QTest::newRow("read-back fails") << Fault::ReadBackFails << "Reading back";
    QTest::newRow("read-back differs") << Fault::ReadBackDiffers << "differs";
    QTest::newRow("close fails") << Fault::CloseFails << "Closing";
}

void TestMainWindow::saveFaults()
{
    QFETCH(testsupport::Fault, fault);
    QFETCH(QString, says);
    testsupport::FaultyDisk disk;
    m_f = std::make_unique<testsupport::WindowFixture>(disk.calls());
    m_window = m_f->window();
    testsupport::createArchive(archive(), testsupport::patternTable());
    const Snapshot before = Snapshot::of(archive());
    const Snapshot edited = before.with(TableOffset + 2177 - 1, 255);
    MessageCatcher messages;
    read();
    QTest::mouseClick(viewer(17), Qt::LeftButton);
    QTest::mouseClick(m_f->editor(9), Qt::LeftButton); // the pen starts white

    disk.set(fault);
    item("Save")->trigger();
    if (says.isEmpty()) {
        QVERIFY(messages.messages().isEmpty());
        QVERIFY(Snapshot::of(archive()) == edited);
        return;
    }
    QCOMPARE(messages.messages().size(), 1);
    const QString text = messages.texts().front();
    QVERIFY2(text.contains(says), qPrintable(text));
    QVERIFY(text.contains(QLatin1String("edits are kept")));
    QCOMPARE(m_window->state().FontTable.byte(2177), quint8(255));
    const Snapshot after = Snapshot::of(archive());
    QCOMPARE(after.size, edited.size);
    // Nothing written: the archive is as it was, and the message says so.
    const bool untouched = fault == testsupport::Fault::WriteError;
    QCOMPARE(text.contains(QLatin1String("Nothing was saved")), untouched);
    if (untouched)
        QVERIFY(after == before);

    // The disk mended, the same Save puts exactly the edit in place.
    disk.set(testsupport::Fault::None);
    item("Save")->trigger();
    QCOMPARE(messages.messages().size(), 1);
    QVERIFY(Snapshot::of(archive()) == edited);
}

void TestMainWindow::exitAsksNothing()
{
    QSignalSpy exit(m_window, &MainWindow::exitRequested);
    MessageCatcher messages;
    item("Exit")->trigger();
    QCOMPARE(exit.count(), 1);
    QVERIFY(messages.messages().isEmpty());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
