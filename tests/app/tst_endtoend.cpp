// Drives the built program as a user does, from the keyboard of a real X server (xvfb-run), on a
// real archive beside a copy of the binary.

#include "support/support.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <QThread>

#include <csignal>

#include <sys/prctl.h>

using namespace testsupport;

namespace
{

QString run(const QString &command)
{
    QProcess process;
    process.startCommand(command);
    process.waitForFinished(60'000);
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

// The ids of the visible windows with that name, once there are as many as wanted.
QString windows(const char *name, int wanted)
{
    for (QDeadlineTimer deadline(60'000); !deadline.hasExpired(); QThread::msleep(50))
        if (QString ids = run(QString("xdotool search --onlyvisible --name %1").arg(name));
            ids.split('\n', Qt::SkipEmptyParts).size() == wanted)
            return wanted ? ids : "none";
    return {};
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void readPaintSaveExit();
    void mouseAfterKeyboard();
    void clipboard();
};

void TestEndToEnd::readPaintSaveExit()
{
    // The Linux build, or Tessora.exe under the Wine wrapper named by TESSORA_WINE.
    const QString binary = qEnvironmentVariable("TESSORA_PROGRAM", TESSORA_BINARY);
    const bool onWine = binary.endsWith(".exe");
    QTemporaryDir dir;
    const QString copy = dir.filePath(onWine ? "Tessora.exe" : "tessora");
    QVERIFY(QFile::copy(binary, copy));
    const QByteArray archive = QFile::encodeName(dir.filePath(ResourceName));
    FontTable table = makeTable();
    createArchive(archive, table);
    // An argument is answered in one line, with no window; --version is the version.
    for (const auto &[argument, status, says] :
         {std::tuple("/path/to/san11res.bin", 2, "it edits san11res.bin in its own folder"),
          std::tuple("--version", 0, "Tessora 2.0")}) {
        QProcess answer;
        onWine ? answer.start(qEnvironmentVariable("TESSORA_WINE"), {copy, argument})
               : answer.start(copy, {argument});
        QVERIFY(answer.waitForFinished(60'000));
        const QString text = answer.readAllStandardError() + answer.readAllStandardOutput();
        QVERIFY2(answer.exitCode() == status && text.count('\n') == 1 && text.contains(says),
                 qPrintable(text));
    }
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    // Wine's processes outlive the wrapper: the server ends them when the test ends.
    const auto endWine = qScopeGuard([&] {
        if (onWine)
            QProcess::execute(qEnvironmentVariable("TESSORA_WINE"), {"--end"});
    });
    if (onWine)
        program.start(qEnvironmentVariable("TESSORA_WINE"), {copy});
    else
        program.start(copy);
    const QString window = windows("^Tessora$", 1);
    QVERIFY2(!window.isEmpty(), "no window appeared");
    auto keys = [&](const QString &window, const QString &keys) {
        run("xdotool windowfocus --sync " + window + " key --delay 60 " + keys);
    };

    // Read; the menus opened and left with Esc twice, which gives the keyboard back; glyph 17 (a
    // row down the table) into the editor; its pixel 9 painted white; Save.
    keys(window, "F10 Return F10 Escape Escape Tab Down space Tab Down space F10 Down Return");
    table.setByte(2177, 255);
    QVERIFY2(!windows("^Tessora$", 1).isEmpty(), "a message box is up");
    QTRY_VERIFY_WITH_TIMEOUT(Snapshot::of(archive) == Snapshot::archive(table), 60'000);

    // About, reached by the arrows (Left wraps round to it), stays out of the task bar.
    keys(window, "F10 Left Return");
    const QString about = windows("^About$", 1);
    QVERIFY2(!about.isEmpty(), "F10 and the arrows did not reach About");
    const QString state = run("xprop -id " + about + " _NET_WM_STATE _NET_WM_ICON");
    QVERIFY2(state.contains("_NET_WM_STATE_SKIP_TASKBAR") && state.contains("16 x 16"),
             qPrintable(state));
    keys(about, "Escape");
    QVERIFY2(!windows("^About$", 0).isEmpty(), "Esc did not close About");
    keys(window, "F10 Left Right Up Return"); // to About and back to File; Exit, its last item
    QVERIFY2(program.waitForFinished(60'000), "Exit did not end the program");
    QCOMPARE(program.exitCode(), 0);
}

namespace
{

// The program started beside a new archive, driven by the mouse and the keyboard of the X server.
// Places are in the client area's pixels, 15 twips each, below the menu bar: what the window's
// height has beyond the client area's 419 pixels.
struct Running {
    const QString binary = qEnvironmentVariable("TESSORA_PROGRAM", TESSORA_BINARY);
    const bool onWine = binary.endsWith(".exe");
    QTemporaryDir dir;
    const QByteArray archive = QFile::encodeName(dir.filePath(ResourceName));
    FontTable table = makeTable();
    QProcess program;
    QString window;
    int bar = 0;

    bool start()
    {
        const QString copy = dir.filePath(onWine ? "Tessora.exe" : "tessora");
        createArchive(archive, table);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        if (!QFile::copy(binary, copy))
            return false;
        onWine ? program.start(qEnvironmentVariable("TESSORA_WINE"), {copy}) : program.start(copy);
        window = windows("^Tessora$", 1);
        const QStringList size = run("xdotool getwindowgeometry --shell " + window).split('\n');
        bar = size.filter("HEIGHT=").value(0).mid(7).toInt() - 419;
        return !window.isEmpty();
    }
    ~Running()
    {
        if (onWine)
            QProcess::execute(qEnvironmentVariable("TESSORA_WINE"), {"--end"});
        program.kill();
        program.waitForFinished();
    }
    void click(int x, int y, int times = 1, int button = 1)
    {
        run(QString("xdotool mousemove --window %1 %2 %3 click --repeat %4 --delay 30 %5")
                .arg(window)
                .arg(x)
                .arg(y + bar)
                .arg(times)
                .arg(button));
        QThread::msleep(300);
    }
    void keys(const QString &keys)
    {
        run("xdotool windowfocus --sync " + window + " key --delay 100 " + keys);
        QThread::msleep(300);
    }
    void glyph(int g, int button = 1) // at its centre
    {
        click(16 + (g - 1) % 16 * 33 + 16, 15 + (g - 1) / 16 * 65 + 32, 1, button);
    }
    static qsizetype shown() // the visible windows, menus and message boxes among them
    {
        return run("xdotool search --onlyvisible --class .").split('\n').size();
    }
    bool saved() // the table on the disk, soon
    {
        QDeadlineTimer deadline(20'000);
        while (!(Snapshot::of(archive) == Snapshot::archive(table)) && !deadline.hasExpired())
            QThread::msleep(100);
        return Snapshot::of(archive) == Snapshot::archive(table);
    }
};

} // namespace

// The mouse after a menu command chosen from the keyboard: Esc ends picking, the menus open at a
// click, and a click on a glyph gives the table the keyboard there.
void TestEndToEnd::mouseAfterKeyboard()
{
    Running tessora;
    QVERIFY2(tessora.start(), "no window appeared");
    auto save = [&] { // File by the mouse, once it has opened its second item by the keyboard
        const qsizetype before = Running::shown();
        tessora.click(18, -10);
        QTRY_VERIFY_WITH_TIMEOUT(Running::shown() > before, 20'000);
        run("xdotool key --delay 100 Down Down Return");
    };
    tessora.keys("F10 Return"); // Read
    tessora.glyph(40);
    tessora.click(589, 354, 55); // the pen's left arrow: from 255 to 200
    tessora.click(636, 389);     // PickColor
    tessora.keys("Escape");
    tessora.click(645, 24); // pixel 5 painted, not picked
    save();
    tessora.table.setByte(4157, 200);
    QVERIFY(tessora.saved());

    tessora.glyph(35); // B: the keyboard's mark there, so Right and Space load C
    tessora.keys("Right space");
    tessora.click(569, 24); // its pixel 1
    save();
    tessora.table.setByte(glyphFirstByte(36), 200);
    QVERIFY(tessora.saved());
}

// Paste from another program's clipboard: an image it holds, text, and an owner that has
// stopped, which neither the context menu nor Paste may wait on.
void TestEndToEnd::clipboard()
{
    Running tessora;
    if (tessora.onWine)
        QSKIP("Wine keeps what an X program copied after it has ended, and answers for one that "
              "has stopped itself");
    QVERIFY2(tessora.start(), "no window appeared");
    const QString image = tessora.dir.filePath("g.png");
    QVERIFY(QProcess::execute("convert", {"-size", "8x16", "xc:gray(77)", "-depth", "8", "-define",
                                          "png:color-type=0", image}) == 0);
    QProcess owner;
    auto own = [&](const QStringList &what) {
        owner.kill();
        owner.waitForFinished();
        owner.start("xclip", QStringList{"-quiet", "-selection", "clipboard"} + what);
        QVERIFY(owner.waitForStarted());
        owner.closeWriteChannel();
        QThread::msleep(500);
    };
    const auto stopOwner = qScopeGuard([&] {
        ::kill(pid_t(owner.processId()), SIGCONT);
        owner.kill();
        owner.waitForFinished();
    });
    auto named = [] { // the main window, and a message box titled as it is
        return run("xdotool search --onlyvisible --name ^Tessora$")
            .split('\n', Qt::SkipEmptyParts)
            .size();
    };
    auto refused = [&](int within = 20'000) { // a message box, which Return closes
        QTRY_VERIFY_WITH_TIMEOUT(named() == 2, within);
        run("xdotool key Return");
        QTRY_VERIFY_WITH_TIMEOUT(named() == 1, 20'000);
    };
    tessora.keys("F10 Return"); // Read
    tessora.glyph(34);          // A

    own({"-t", "image/png", "-i", image});
    tessora.keys("ctrl+v");
    tessora.keys("F10 Down Return"); // Save
    for (int k = 0; k < 128; ++k)
        tessora.table.setByte(glyphFirstByte(34) + k / 8 * 128 + k % 8, 77);
    QVERIFY(tessora.saved());

    owner.kill(); // the image goes with its owner
    owner.waitForFinished();
    tessora.keys("ctrl+v");
    refused();

    own({"-i", "/dev/null"}); // text, and empty
    tessora.keys("ctrl+v");
    refused();

    own({"-t", "image/png", "-i", image});
    ::kill(pid_t(owner.processId()), SIGSTOP);
    const qsizetype before = Running::shown();
    // Qt's own clipboard would wait 5 seconds and more on it; the window asks for nothing to
    // open its context menu, and waits 2 seconds for a Paste.
    tessora.glyph(34, 3);
    QTRY_VERIFY_WITH_TIMEOUT(Running::shown() > before, 3'000);
    run("xdotool key Escape");
    tessora.keys("ctrl+v");
    refused(4'500);
    QVERIFY(tessora.saved()); // nothing pasted
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
