// Drives the built program as a user does: in a real X server, with input events from outside
// the process, on a real archive beside a copy of the binary.

#include "fonttable/fonttable.h"

#include "support/archive.h"
#include "support/rendering.h"

#include <QClipboard>
#include <QDeadlineTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <optional>

#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace fonttable;
using testsupport::gray;
using testsupport::Snapshot;

namespace
{

constexpr int ClientWidth = 728;
constexpr int ClientHeight = 419;
constexpr int PatienceMs = 20'000;

// An Xvfb on a display it picks itself, ended with this process whatever happens.
class XServer
{
public:
    ~XServer()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    // Returns the display name, or an empty string with the reason on stderr.
    QByteArray start()
    {
        int ready[2];
        if (::pipe(ready) != 0)
            return {};
        m_pid = ::fork();
        if (m_pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::close(ready[0]);
            const QByteArray fd = QByteArray::number(ready[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.constData(), "-screen", "0", "1024x768x24",
                     "-nolisten", "tcp", static_cast<char *>(nullptr));
            std::perror("cannot start Xvfb");
            ::_exit(127);
        }
        ::close(ready[1]);
        QByteArray number;
        pollfd wait{ready[0], POLLIN, 0};
        char c;
        while (::poll(&wait, 1, PatienceMs) == 1 && ::read(ready[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(ready[0]);
        if (number.isEmpty()) {
            std::fprintf(stderr, "Xvfb did not start within %d s\n", PatienceMs / 1000);
            return {};
        }
        return ':' + number;
    }

private:
    pid_t m_pid = -1;
};

// Runs a command to its end, within the patience; returns its output.
QString run(const QStringList &command)
{
    QProcess process;
    process.start(command.front(), command.mid(1));
    if (!process.waitForFinished(PatienceMs)) {
        process.kill();
        process.waitForFinished();
        qWarning("%s did not finish", qPrintable(command.join(' ')));
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

// A window's place on the screen, as xdotool reports it.
QRect windowRect(const QString &window)
{
    QHash<QString, int> value;
    for (const QString &line :
         run({"xdotool", "getwindowgeometry", "--shell", window}).split('\n')) {
        const QStringList pair = line.split('=');
        if (pair.size() == 2)
            value[pair[0]] = pair[1].toInt();
    }
    return QRect(value["X"], value["Y"], value["WIDTH"], value["HEIGHT"]);
}

// Waits for a condition, up to the patience.
template <typename Condition> bool eventually(Condition condition)
{
    QDeadlineTimer deadline(PatienceMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
        QCoreApplication::processEvents();
    }
    return true;
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void oneEditReachesTheArchive();
    void readWithoutArchiveIsReported();

private:
    void startProgram();
    QStringList windows() const;
    void click(QPoint client) const;
    QStringList programWindows() const;
    bool chooseFromFile(int item) const; // 0 Read, 1 Save, 2 Exit
    QImage client() const;

    QPoint viewerSquare(int glyph, int pixel) const;
    QPoint editorCell(int pixel) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QProcess> m_program;
    QPoint m_origin; // the client area's top-left on the screen
    int m_menuBarHeight = 0;
};

void TestEndToEnd::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QFile::copy(QStringLiteral(TESSORA_BINARY), m_dir->filePath("tessora")));
    QVERIFY(QFile::setPermissions(m_dir->filePath("tessora"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

void TestEndToEnd::cleanup()
{
    if (m_program && m_program->state() != QProcess::NotRunning) {
        m_program->kill();
        m_program->waitForFinished();
    }
    m_program.reset();
    m_dir.reset();
}

void TestEndToEnd::startProgram()
{
    m_program = std::make_unique<QProcess>();
    m_program->setProgram(m_dir->filePath("tessora"));
    m_program->setProcessChannelMode(QProcess::ForwardedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "xcb");
    environment.remove("QT_SCALE_FACTOR");
    m_program->setProcessEnvironment(environment);
    m_program->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_program->start();
    QVERIFY2(m_program->waitForStarted(PatienceMs), "the program did not start");

    QVERIFY2(eventually([&] { return !windows().isEmpty(); }),
             "the Tessora window did not appear within 20 s");
    const QRect window = windowRect(windows().front());
    QCOMPARE(window.width(), ClientWidth);
    // The menu bar lies above the client area.
    m_menuBarHeight = window.height() - ClientHeight;
    QVERIFY(m_menuBarHeight > 0);
    m_origin = window.topLeft() + QPoint(0, m_menuBarHeight);
}

QStringList TestEndToEnd::windows() const
{
    const QString ids = run({"xdotool", "search", "--onlyvisible", "--name", "^Tessora$"});
    return ids.isEmpty() ? QStringList() : ids.split('\n');
}

void TestEndToEnd::click(QPoint at) const
{
    const QPoint screen = m_origin + at;
    run({"xdotool", "mousemove", QString::number(screen.x()), QString::number(screen.y()), "click",
         "1"});
}

QStringList TestEndToEnd::programWindows() const
{
    const QString ids = run(
        {"xdotool", "search", "--onlyvisible", "--pid", QString::number(m_program->processId())});
    return ids.isEmpty() ? QStringList() : ids.split('\n');
}

bool TestEndToEnd::chooseFromFile(int item) const
{
    // "File" is the first title of the menu bar; once its menu is open, the keyboard walks it.
    const QStringList before = programWindows();
    click(QPoint(12, -m_menuBarHeight / 2));
    QString menu;
    if (!eventually([&] {
            for (const QString &window : programWindows())
                if (!before.contains(window))
                    menu = window;
            return !menu.isEmpty();
        }))
        return false;
    QStringList keys = {"xdotool", "key", "--delay", "50"};
    for (int i = 0; i <= item; ++i)
        keys << "Down";
    run(keys << "Return");
    return eventually([&] { return !programWindows().contains(menu); });
}

QImage TestEndToEnd::client() const
{
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, m_origin.x(), m_origin.y(), ClientWidth, ClientHeight)
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// The middle of a square of the table, in client pixels: cells on a 33 x 65 pitch from (16, 15),
// squares 3 pixels wide on a 4-pixel pitch, the borders off after a Read.
QPoint TestEndToEnd::viewerSquare(int glyph, int pixel) const
{
    const int c = (glyph - 1) % GlyphColumns, r = (glyph - 1) / GlyphColumns;
    return QPoint(16 + 33 * c + 4 * pixelColumn(pixel) + 1, 15 + 65 * r + 4 * pixelRow(pixel) + 1);
}

QPoint TestEndToEnd::editorCell(int pixel) const
{
    return QPoint(560 + 19 * pixelColumn(pixel) + 10, 15 + 19 * pixelRow(pixel) + 10);
}

void TestEndToEnd::oneEditReachesTheArchive()
{
    const QString archive = m_dir->filePath(QLatin1String(ResourceName));
    const FontTable table = testsupport::patternTable();
    testsupport::createArchive(archive, table);
    const Snapshot before = Snapshot::of(archive);
    startProgram();
    if (QTest::currentTestFailed())
        return;

    QVERIFY2(chooseFromFile(0), "the File menu did not open and close");
    // Every square of glyphs 16, 17 and 96, and the lanes to their right and below.
    auto tableShown = [&](const QImage &shot) {
        for (int g : {1, 16, 17, 96})
            for (int k = 1; k <= PixelsPerGlyph; ++k) {
                const QPoint square = viewerSquare(g, k);
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        if (shot.pixel(square + QPoint(dx, dy)) !=
                            gray(table.byte(pixelPosition(g, k))))
                            return false;
                // The margin right of glyph 16's drawing shows the cells' background.
                const QRgb lane = shot.pixel(16 + 33 * 15 + 32, 15);
                if (shot.pixel(square + QPoint(2, 0)) != lane ||
                    shot.pixel(square + QPoint(0, 2)) != lane)
                    return false;
            }
        return true;
    };
    QVERIFY2(eventually([&] { return tableShown(client()); }),
             "the table does not show the archive's bytes");

    click(viewerSquare(17, 1));
    QVERIFY2(eventually([&] { return client().pixel(editorCell(1)) == gray(table.byte(2049)); }),
             "glyph 17 did not load into the editor");

    // The pen, read off its swatch: clicks in the trough left of the slider step by 16, the
    // arrows by 1, until it shows 128.
    const QPoint trough(584 + 24, 344 + 10), leftArrow(584 + 4, 344 + 10),
        rightArrow(584 + 113 - 4, 344 + 10);
    auto pen = [&] {
        return qRed(client().pixel(570, 354));
    };
    for (int guard = 0; pen() != 128 && guard < 100; ++guard) {
        const int before = pen();
        click(before - 128 >= 16 ? trough : before > 128 ? leftArrow : rightArrow);
        eventually([&] { return pen() != before; });
    }
    QCOMPARE(pen(), 128);

    click(editorCell(9));
    QVERIFY2(eventually([&] {
                 const QImage shot = client();
                 return shot.pixel(editorCell(9)) == gray(128) &&
                        shot.pixel(viewerSquare(17, 9)) == gray(128);
             }),
             "the paint did not show");

    QVERIFY2(chooseFromFile(1), "the File menu did not open and close");
    const Snapshot edited = before.with(TableOffset + 2177 - 1, 128);
    QVERIFY2(eventually([&] { return Snapshot::of(archive) == edited; }),
             "the archive does not hold exactly the one edit");

    QVERIFY2(chooseFromFile(2), "the File menu did not open and close");
    QVERIFY2(m_program->waitForFinished(PatienceMs), "Exit did not end the program");
    QCOMPARE(m_program->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_program->exitCode(), 0);
    QVERIFY(Snapshot::of(archive) == edited);
}

void TestEndToEnd::readWithoutArchiveIsReported()
{
    startProgram();
    if (QTest::currentTestFailed())
        return;
    const QStringList before = programWindows();

    QVERIFY2(chooseFromFile(0), "the File menu did not open and close");
    QString box;
    QVERIFY2(eventually([&] {
                 for (const QString &window : programWindows())
                     if (!before.contains(window))
                         box = window;
                 return !box.isEmpty();
             }),
             "no message box appeared");
    // The box's text is selectable: a triple click on its first line selects that line, which
    // X hands to any client asking for the primary selection.
    const QRect boxRect = windowRect(box);
    const QImage shot =
        QGuiApplication::primaryScreen()
            ->grabWindow(0, boxRect.x(), boxRect.y(), boxRect.width(), boxRect.height())
            .toImage();
    QPoint text;
    for (int y = 0; y < shot.height() && text.isNull(); ++y)
        for (int x = 0; x < shot.width() && text.isNull(); ++x)
            if (qGray(shot.pixel(x, y)) < 96)
                text = QPoint(x + 2, y + 3);
    QVERIFY2(!text.isNull(), "the message box shows no text");
    const QPoint at = boxRect.topLeft() + text;
    run({"xdotool", "mousemove", QString::number(at.x()), QString::number(at.y()), "click",
         "--repeat", "3", "--delay", "60", "1"});
    QString selected;
    QVERIFY2(eventually([&] {
                 selected = QGuiApplication::clipboard()->text(QClipboard::Selection);
                 return selected.contains(QLatin1String("Cannot find"));
             }),
             qPrintable("the message box did not say the archive is missing: " + selected));
    QVERIFY(selected.contains(m_dir->filePath(QLatin1String(ResourceName))));

    run({"xdotool", "key", "--window", box, "Return"});
    QVERIFY2(eventually([&] { return !programWindows().contains(box); }),
             "the message box did not close");
    QCOMPARE(m_program->state(), QProcess::Running);
    QCOMPARE(windows().size(), 1);
    QVERIFY(!QFile::exists(m_dir->filePath(QLatin1String(ResourceName))));
}

int main(int argc, char *argv[])
{
    XServer server;
    const QByteArray display = server.start();
    if (display.isEmpty())
        return 1;
    qputenv("DISPLAY", display);
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    TestEndToEnd test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_endtoend.moc"
