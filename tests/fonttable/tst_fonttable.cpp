#include "fonttable/resourcefile.h"
#include "mainwindow/messages.h"

#include "fonttable/faults.h"
#include "fonttable/scenes.h"
#include "support/support.h"

#include <QDir>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <filesystem>
#include <set>

#ifdef Q_OS_WIN
#include <iostream>
#else
#include <grp.h>
#include <sys/resource.h>
#endif

using namespace testsupport;

namespace
{

enum Platforms { Both, Posix, Windows };
#ifdef Q_OS_WIN
constexpr Platforms Here = Windows;
#define OS(posix, windows) windows
const char IoText[] = "I/O device error";
#else
constexpr Platforms Here = Posix;
#define OS(posix, windows) posix
const char IoText[] = "Input/output error";
#endif

// A folder named as nothing a program should trip over: markup (where names may hold it), a
// placeholder, a letter outside ASCII or a byte that is not UTF-8.
struct AwkwardFolder {
    QTemporaryDir top;
    QByteArray path = QFile::encodeName(top.path()) + OS("/<b>%2 \xff", "/%2 \xc3\xa9");
    AwkwardFolder() { QVERIFY(std::filesystem::create_directory(native(path))); }
    ~AwkwardFolder() { std::filesystem::remove_all(native(path)); }
};

// What is open in this process, and what its folder holds: no command may leave either behind.
std::pair<long, long> entries(const AwkwardFolder &folder)
{
    const std::filesystem::directory_iterator files(native(folder.path));
#ifdef Q_OS_WIN
    DWORD handles = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &handles);
    return {std::distance(begin(files), end(files)), long(handles)};
#else
    const std::filesystem::directory_iterator fds("/proc/self/fd");
    return {std::distance(begin(files), end(files)), std::distance(begin(fds), end(fds))};
#endif
}

} // namespace

class TestFontTable : public QObject
{
    Q_OBJECT

private slots:
    void addressing();
    void theArchiveIsFoundBesideTheProgram();
    void readAndSave_data();
    void readAndSave();
};

// The 96 x 128 pixels cover the block exactly once; where each one lies is pinned by the editor's
// test at the game's literal offset and by a preview of every glyph against the raw block.
void TestFontTable::addressing()
{
    std::set<int> positions;
    for (int g = 1; g <= GlyphCount; ++g)
        for (int k = 1; k <= PixelsPerGlyph; ++k)
            positions.insert(pixelPosition(g, k));
    QVERIFY(positions.size() == TableSize && *positions.rbegin() == TableSize);
}

void TestFontTable::theArchiveIsFoundBesideTheProgram()
{
#ifdef Q_OS_WIN
    // The folder of the executable, wherever it was started from, and the path built with "\".
    QVERIFY(QDir::setCurrent(QDir::tempPath()));
    const Folder folder = Folder::ofProgram(nullptr);
    QCOMPARE(displayPath(folder, ResourceName),
             QDir::toNativeSeparators(QCoreApplication::applicationDirPath()) + "\\san11res.bin");
    // Windows ignores case: SAN11RES.BIN is the archive.
    const AwkwardFolder dir;
    createArchive(dir.path + "/SAN11RES.BIN", makeTable());
    QVERIFY(readBlock(Folder(dir.path)).archive.base == makeTable());
#else
    const AwkwardFolder dir;
    const QByteArray game = dir.path;
    auto found = [](const QByteArray &command) {
        const ReadResult read = readBlock(Folder::ofProgram(command.constData()));
        return read.ok() ? QString(read.archive.name) : storageMessage(read.failure, false);
    };
    createArchive(QFile::encodeName(dir.top.path()) + "/san11res.bin", {});
    // Started through a link placed in the game's folder, or found through PATH, the program
    // works on the archive beside the link, never on one in the working directory.
    QVERIFY(QDir::setCurrent(dir.top.path()) && ::symlink("/bin/true", game + "/tessora") == 0);
    QVERIFY(found(game + "/tessora").startsWith("Cannot find " + QFile::decodeName(game)));
    createArchive(game + "/SAN11RES.BIN", {});
    QCOMPARE(found(game + "/tessora"), "SAN11RES.BIN");
    qputenv("PATH", "/nonexistent:" + game);
    QCOMPARE(found("tessora"), "SAN11RES.BIN");

    // A copy from a system that ignores case: another spelling is taken when it is the only
    // regular file; the exact name wins; two others are named, not guessed at.
    QVERIFY(::mkfifo(game + "/san11res.bin", 0644) == 0);
    QCOMPARE(found(game + "/x"), "SAN11RES.BIN");
    createArchive(game + "/San11Res.bin", {});
    const QString both = found(game + "/x");
    QVERIFY2(both.contains("San11Res.bin") && both.contains("SAN11RES.BIN"), qPrintable(both));
    QVERIFY(::unlink(game + "/san11res.bin") == 0);
    createArchive(game + "/san11res.bin", {});
    QCOMPARE(found(game + "/x"), "san11res.bin");
    QVERIFY(
        storageMessage(readBlock(Folder("/nonexistent")).failure, false).contains("/nonexistent"));
#endif
}

namespace
{

enum Command { Read, Export, Save }; // Export: a Read that needs no write access
struct Case {
    const char *name;
    Command command;
    QString file; // what became of the archive since the last Read
    Fault fault;
    QString says; // empty: the command succeeds
    int written;  // bytes of the new table that reach the file; -1: not known
    Platforms where = Both;
};

const Case Cases[] = {
    // clang-format off
        {"read", Read, "", {}, "", 0},
        {"read, missing", Read, "removed", {}, "Cannot find", 0},
        {"read, a folder", Read, "folder", {}, "is a folder", 0},
        {"read, a pipe", Read, "fifo", {}, "not a regular file", 0, Posix},
        {"read, a byte short", Read, "short", {}, "the font table ends at byte 525371735", 0},
        {"read, read-only", Read, "read-only", {}, OS("Permission denied.\n\nTessora needs", "marked read-only"), 0},
        {"read, not to be written", Read, "", {.denied = Denied}, OS("", "Tessora needs to write"), 0},
        {"read, under Program Files", Read, "program files", {.denied = Denied}, "only administrators", 0, Windows},
        {"read, leased", Read, "leased", {}, "", 0, Posix},
        {"read, open elsewhere unshared", Read, "unshared", {}, "", 0, Windows},
        {"read to export, read-only", Export, "read-only", {}, "", 0},
        {"read fails", Read, "", {.reads = {-IoError}}, IoText, 0},
        {"read stops early", Read, "", {.reads = {6144, 0}}, "stopped after 6144 of 12288", 0},
        {"save", Save, "", {}, "", TableSize},
        {"save, interrupted once", Save, "", {.writes = {-EINTR, Real}}, "", TableSize, Posix},
        {"save, no room to reserve", Save, "", {.reserve = ENOSPC}, "No space left", 0, Posix},
        {"save, no reserving here", Save, "", {.reserve = EOPNOTSUPP}, "", TableSize, Posix},
        {"save, no direct reads here", Save, "", {.direct = NotHere}, "", TableSize},
        {"save, removed", Save, "removed", {}, "Cannot find", 0},
        {"save, a folder", Save, "folder", {}, "is a folder", 0},
        {"save, a pipe", Save, "fifo", {}, "not a regular file", 0, Posix},
        {"save, grown", Save, "grown", {}, "has changed", 0},
        {"save, shrunk", Save, "short", {}, "has changed", 0},
        {"save, replaced", Save, "replaced", {}, "replaced", 0},
        {"save, changed by another", Save, "changed", {}, "changed by another program", 0},
        {"save, cache older than the disk", Save, "", {.reads = {Stale, Real}}, "changed by another", 0},
        {"save, the same, no direct reads here", Save, "", {.reads = {Stale, Real}, .direct = NotHere}, "changed by another", 0, Posix},
        {"save, renumbered by FUSE", Save, "", {.fs = Fuse}, "", TableSize},
        {"save, renumbered on ext4", Save, "", {.fs = Ext4}, "replaced", 0},
        {"save, renumbered on FAT", Save, "", {.fs = 0x4d44}, "", TableSize, Posix},
        {"save, renumbered on exFAT", Save, "", {.fs = 0x2011'bab0}, "", TableSize, Posix},
        {"save, renumbered on SMB", Save, "", {.fs = 0xfe53'4d42}, "", TableSize, Posix},
        {"read, a link to nothing", Read, "dangling", {}, "is a link to /nowhere/san11res.bin", 0, Posix},
        {"save, a link to nothing", Save, "dangling", {}, "is a link to /nowhere/san11res.bin", 0, Posix},
        {"read, the folder deleted", Read, "deleted", {}, "Start Tessora again", 0, Posix},
        {"save, the folder deleted", Save, "deleted", {}, "Start Tessora again", 0, Posix},
        {"save, locked", Save, "locked", {}, "is in use", 0},
        {"save, locked for reading", Save, "read-locked", {}, "is in use", 0},
        {"save, locked by another process", Save, "locked elsewhere", {}, "is in use", 0, Windows},
        {"save, open elsewhere unshared", Save, "unshared", {}, "open in another program that does not share it", 0, Windows},
        {"save, leased", Save, "leased", {}, "lease", 0, Posix},
        {"save, read-only", Save, "read-only", {}, OS("for writing: Permission denied", "marked read-only"), 0},
        {"save, not to be written", Save, "", {.denied = Denied}, "for writing", 0},
        {"save, under Program Files", Save, "program files", {.denied = Denied}, "only administrators", 0, Windows},
        {"save, past the size limit", Save, "limited", {}, "File too large", 0, Posix},
        {"write fails", Save, "", {.writes = {-IoError}}, IoText, 0},
        {"disk full, put back", Save, "", {.writes = {100, -NoSpace, Real}}, "were put back", 0},
        {"write stops early", Save, "", {.writes = {6144, 0}}, "stopped after 6144 of 12288", 6144},
        {"truncated meanwhile", Save, "", {.writes = {Cut, Real}}, "length of", -1},
        {"flush fails", Save, "", {.flush = IoError}, "Flushing", TableSize},
        {"read-back fails", Save, "", {.reads = {Real, -IoError}}, "Reading back", TableSize},
        {"read-back interrupted, ends early", Save, "", {.reads = {Real, -EINTR, 0, Real}}, "stopped short", TableSize, Posix},
        {"read-back ends early", Save, "", {.reads = {Real, 0}}, "stopped short", TableSize},
        {"read-back differs", Save, "", {.reads = {Real, Flip}}, "differs", TableSize},
        {"close fails", Save, "", {.close = IoError}, "Closing", TableSize},
    // clang-format on
};

} // namespace

// Every way a Read or a Save can meet an archive or a disk: what the command says, and what the
// archive holds afterwards. No command may create a file, nor change the archive's length, nor
// block, nor leave a handle open.
void TestFontTable::readAndSave_data()
{
    QTest::addColumn<int>("row");
    for (int row = 0; row < int(std::size(Cases)); ++row)
        if (Cases[row].where == Both || Cases[row].where == Here)
            QTest::newRow(Cases[row].name) << row;
}

void TestFontTable::readAndSave()
{
    constexpr qint64 Size = MinimumArchiveSize + 5000;
    QFETCH(int, row);
    {
        const auto &[name, command, file, fault, says, written, where] = Cases[row];
        const bool save = command == Save;
        const AwkwardFolder awkward;
        const QByteArray dir = awkward.path, path = dir + '/' + ResourceName;
        const Folder folder(dir);
        const FontTable old = makeTable(), edited = makeTable(1);
        createArchive(path, old, Size);
        ReadResult before = readBlock(folder);
        QVERIFY(before.ok());
        Scene scene(file, dir, path, [&](const QByteArray &at) { createArchive(at, old, Size); });
        const auto present = entries(awkward);
        scene.hold();
        QVERIFY2(scene.ok, name);
        const Snapshot start = Snapshot::of(path);

        const ReadResult read =
            save              ? ReadResult{}
            : command == Read ? readBlock(folder, faulty(fault))
                              : readBlock(folder, ResourceName, Access::ReadOnly, faulty(fault));
        const QString error = storageMessage(
            save ? writeBlock(folder, before.archive, edited, faulty(fault)).failure : read.failure,
            save);
        scene.end();
#define EXPECT(condition) QVERIFY2(condition, qPrintable(name + QString(": ") + error))
        EXPECT(error.contains(says) && error.isEmpty() == says.isEmpty());
        EXPECT(entries(awkward) == present);
        EXPECT(save || !error.isEmpty() || (read.archive.base == old && read.archive.size == Size));
        EXPECT(error.isEmpty() || file == "fifo" || file == "leased" || file == "deleted" ||
               error.contains(displayPath(folder, ResourceName)));
        EXPECT(!save || error.isEmpty() ||
               error.contains(written ? "may be incomplete" : "Nothing was saved"));
        EXPECT(!save || written || !error.contains("choose read", Qt::CaseInsensitive));
        FontTable expected = old;
        std::copy_n(edited.data(), std::max(0, written), expected.data());
        EXPECT(written < 0 ||
               Snapshot::of(path) == (written ? Snapshot::archive(expected, Size) : start));
        // Saved again, after another program changed what the failed Save left, the change is
        // noticed; with the disk mended and the change gone, the edits land exactly.
        auto poke = [&](quint8 value) {
            return writeAt(path, TableOffset, QByteArray(1, char(value)));
        };
        EXPECT(error.isEmpty() || written <= 0 ||
               (poke(old.byte(1) + edited.byte(1) + 1) &&
                writeBlock(folder, before.archive, edited).failure.what == Failure::Changed &&
                poke(edited.byte(1)) && writeBlock(folder, before.archive, edited).ok()));
#undef EXPECT
    }
}

int main(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    // Another process holding the archive, until its input ends.
    if (argc == 3 && (QByteArray(argv[1]) == "--lock-block" || QByteArray(argv[1]) == "--unshared"))
        return holdFile();
#else
    // Root ignores file permissions: the tests run as the user nobody.
    if (::geteuid() == 0 && (::setgroups(0, nullptr) || ::setgid(65'534) || ::setuid(65'534)))
        qFatal("cannot become the user nobody");
#endif
    QCoreApplication app(argc, argv);
    TestFontTable test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_fonttable.moc"
