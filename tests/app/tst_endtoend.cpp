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

// The mouse after a menu command chosen from the keyboard: Esc ends picking, the menus open at a
// click, and a click on a glyph gives the table the keyboard there.
void TestEndToEnd::mouseAfterKeyboard()
{
    const QString binary = qEnvironmentVariable("TESSORA_PROGRAM", TESSORA_BINARY);
    const bool onWine = binary.endsWith(".exe");
    QTemporaryDir dir;
    const QString copy = dir.filePath(onWine ? "Tessora.exe" : "tessora");
    QVERIFY(QFile::copy(binary, copy));
    const QByteArray archive = QFile::encodeName(dir.filePath(ResourceName));
    FontTable table = makeTable();
    createArchive(archive, table);
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    const auto endWine = qScopeGuard([&] {
        if (onWine)
            QProcess::execute(qEnvironmentVariable("TESSORA_WINE"), {"--end"});
        program.kill();
    });
    onWine ? program.start(qEnvironmentVariable("TESSORA_WINE"), {copy}) : program.start(copy);
    const QString window = windows("^Tessora$", 1);
    QVERIFY2(!window.isEmpty(), "no window appeared");
    // Places in the client area in pixels, 15 twips each, below the menu bar: what the window's
    // height has beyond the client area's 419 pixels.
    const QStringList size = run("xdotool getwindowgeometry --shell " + window).split('\n');
    const int bar = size.filter("HEIGHT=").value(0).mid(7).toInt() - 419;
    auto click = [&](int x, int y, int times = 1) {
        run(QString("xdotool mousemove --window %1 %2 %3 click --repeat %4 --delay 30 1")
                .arg(window)
                .arg(x)
                .arg(y + bar)
                .arg(times));
        QThread::msleep(300);
    };
    auto keys = [&](const QString &keys) {
        run("xdotool windowfocus --sync " + window + " key --delay 100 " + keys);
        QThread::msleep(300);
    };
    auto glyph = [&](int g) { // its centre
        click(16 + (g - 1) % 16 * 33 + 16, 15 + (g - 1) / 16 * 65 + 32);
    };
    auto save = [&] { // by the mouse: File, then its second item
        click(18, -10);
        click(30, 30 - bar / 2);
    };

    keys("F10 Return"); // Read
    glyph(40);
    click(589, 354, 55); // the pen's left arrow: from 255 to 200
    click(636, 389);     // PickColor
    keys("Escape");
    click(645, 24); // pixel 5 painted, not picked
    save();
    table.setByte(4157, 200);
    QTRY_VERIFY_WITH_TIMEOUT(Snapshot::of(archive) == Snapshot::archive(table), 20'000);

    glyph(35); // B: the keyboard's mark there, so Right and Space load C
    keys("Right space");
    click(569, 24); // its pixel 1
    save();
    table.setByte(glyphFirstByte(36), 200);
    QTRY_VERIFY_WITH_TIMEOUT(Snapshot::of(archive) == Snapshot::archive(table), 20'000);
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
