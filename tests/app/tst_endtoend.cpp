// Drives the built program as a user does: in a real X server (xvfb-run), with input events
// from outside the process, on a real archive beside a copy of the binary.

#include "support/support.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>

#include <sys/prctl.h>

using namespace fonttable;
using testsupport::Snapshot;

namespace
{

QString run(const QStringList &command)
{
    QProcess process;
    process.start(command.front(), command.mid(1));
    process.waitForFinished(20'000);
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

template <typename Condition> bool eventually(Condition condition)
{
    for (QDeadlineTimer deadline(20'000); !condition(); QThread::msleep(50))
        if (deadline.hasExpired())
            return false;
    return true;
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void readPaintSaveExit();
};

void TestEndToEnd::readPaintSaveExit()
{
    QTemporaryDir dir;
    QVERIFY(QFile::copy(TESSORA_BINARY, dir.filePath("tessora")));
    const QByteArray archive = QFile::encodeName(dir.filePath(ResourceName));
    const FontTable table = testsupport::makeTable();
    testsupport::createArchive(archive, table);

    QProcess program;
    program.setProgram(dir.filePath("tessora"));
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    program.start();
    QVERIFY(program.waitForStarted());
    const QString pid = QString::number(program.processId());
    auto windows = [&] {
        return run({"xdotool", "search", "--onlyvisible", "--pid", pid});
    };
    QVERIFY2(eventually([&] { return !windows().isEmpty(); }), "no window appeared");
    const QString window = windows();
    QHash<QString, int> at;
    for (const QString &line : run({"xdotool", "getwindowgeometry", "--shell", window}).split('\n'))
        at[line.section('=', 0, 0)] = line.section('=', 1).toInt();
    const int menuBar = at["HEIGHT"] - 419; // above the 419-pixel client area
    auto click = [&](int x, int y) {
        run({"xdotool", "mousemove", QString::number(at["X"] + x),
             QString::number(at["Y"] + menuBar + y), "click", "1"});
    };
    auto chooseFromFile = [&](int item) { // 0 Read, 1 Save, 2 Exit
        const qsizetype before = windows().count('\n');
        click(12, -menuBar / 2);
        if (!eventually([&] { return windows().count('\n') == before + 1; }))
            return false;
        run(QStringList{"xdotool", "key", "--delay", "50"} << QStringList(item + 1, "Down")
                                                           << "Return");
        return eventually([&] { return windows().count('\n') == before; });
    };

    QVERIFY2(chooseFromFile(0), "the File menu did not open and close");
    click(16 + 2, 80 + 2);         // glyph 17
    click(560 + 10, 15 + 19 + 10); // its pixel 9, in the pen's white
    QVERIFY2(chooseFromFile(1), "the File menu did not open and close");
    FontTable edited = table;
    edited.setByte(2177, 255);
    QVERIFY2(eventually([&] { return Snapshot::of(archive) == Snapshot::archive(edited); }),
             "the archive does not hold exactly the one edit");
    // F10 opens the menus; About, reached by the arrows (Left wraps round to it), stays out of
    // the task bar.
    run({"xdotool", "windowfocus", "--sync", window}); // as a window manager would
    run({"xdotool", "key", "--delay", "100", "F10", "Left", "Return"});
    QString about;
    QVERIFY2(eventually([&] {
                 about = run({"xdotool", "search", "--onlyvisible", "--name", "^About$"});
                 return !about.isEmpty();
             }),
             "F10 and the arrows did not reach About");
    const QString state = run({"xprop", "-id", about, "_NET_WM_STATE", "_NET_WM_ICON"});
    QVERIFY2(state.contains("_NET_WM_STATE_SKIP_TASKBAR") && state.contains("16 x 16"),
             qPrintable(state));
    run({"xdotool", "windowfocus", "--sync", about});
    run({"xdotool", "key", "Escape"});
    QVERIFY2(eventually([&] { return !windows().contains(about); }), "Esc did not close About");
    QVERIFY2(chooseFromFile(2), "the File menu did not open and close");
    QVERIFY2(program.waitForFinished(20'000), "Exit did not end the program");
    QCOMPARE(program.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
