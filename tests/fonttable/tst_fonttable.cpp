#include "fonttable/resourcefile.h"
#include "mainwindow/storagemessage.h"

#include "support/support.h"

#include <QDir>
#include <QTest>

#include <csignal>
#include <filesystem>
#include <set>

#include <grp.h>
#include <sys/resource.h>

using namespace testsupport;

namespace
{

// A disk's behaviour as scripts of successive reads and writes, the last step standing for all
// later calls: move at most so many bytes (Real: all), fail with minus an errno, Cut (another
// program cuts the file short, then the write happens), Flip (a byte comes back flipped) or Stale
// (the cache is older than the disk: a byte comes back flipped only past the cache, or once the
// cache has dropped its page).
constexpr int Real = 1 << 30, Cut = -1000, Flip = -1001, Stale = -1002;
struct Fault {
    std::vector<int> reads = {Real}, writes = {Real};
    int reserve = 0, flush = 0, close = 0, direct = 0; // the errno these calls fail with
    unsigned fs = 0; // the file system's magic, which gives the file a new inode number
};

FileCalls faulty(const Fault &f)
{
    auto dropped = std::make_shared<bool>(false);
    auto scripted = [dropped](std::vector<int> script, auto call) {
        return [=, n = std::make_shared<size_t>()](int fd, auto *buffer, size_t count, off_t at) {
            const int step = script[std::min((*n)++, script.size() - 1)];
            if (step == Cut)
                (void)::ftruncate(fd, 1000);
            if (step < 0 && step > Cut)
                return (errno = -step, ssize_t(-1));
            const ssize_t got =
                call(fd, buffer, std::min(count, size_t(step < 0 ? Real : step)), at);
            const bool fresh = (::fcntl(fd, F_GETFL) & O_DIRECT) || *dropped;
            const bool flip = step == Flip || (step == Stale && fresh);
            if (const qint64 i = TableOffset + 100 - at; flip && i >= 0 && i < got)
                const_cast<char *>(static_cast<const char *>(buffer))[i] ^= 1;
            return got;
        };
    };
    FileCalls calls;
    calls.pread = scripted(f.reads, ::pread);
    calls.pwrite = scripted(f.writes, ::pwrite);
    calls.fallocate = [e = f.reserve](int fd, int mode, off_t at, off_t length) {
        return e ? (errno = e, -1) : ::fallocate(fd, mode, at, length);
    };
    calls.fadvise = [dropped](int fd, off_t at, off_t length, int advice) {
        // Only pages wholly inside the range leave the cache; length 0 reaches the end.
        const off_t page = ::sysconf(_SC_PAGESIZE), p = (TableOffset + 100) / page * page;
        *dropped |=
            advice == POSIX_FADV_DONTNEED && at <= p && (!length || at + length >= p + page);
        return ::posix_fadvise(fd, at, length, advice);
    };
    calls.fdatasync = [e = f.flush](int fd) {
        return e ? (errno = e, -1) : ::fdatasync(fd);
    };
    calls.close = [e = f.close](int fd) {
        return ::close(fd) ? -1 : e ? (errno = e, -1) : 0;
    };
    calls.fstat = [fs = f.fs](int fd, struct stat *info) {
        return ::fstat(fd, info) ? -1 : (info->st_ino += fs != 0, 0);
    };
    calls.fstatfs = [fs = f.fs](int fd, struct statfs *info) {
        return ::fstatfs(fd, info) ? -1 : (info->f_type = fs ? fs : info->f_type, 0);
    };
    calls.openat = [e = f.direct](int dir, const char *name, int flags) {
        return e && (flags & O_DIRECT) ? (errno = e, -1) : ::openat(dir, name, flags);
    };
    return calls;
}

// A folder named as nothing a program should trip over: markup, a placeholder, a byte that is not
// UTF-8.
struct AwkwardFolder {
    QTemporaryDir top;
    QByteArray path = QFile::encodeName(top.path()) + "/<b>%2 \xff";
    AwkwardFolder() { QVERIFY(::mkdir(path.constData(), 0755) == 0); }
    ~AwkwardFolder() { std::filesystem::remove_all(path.constData()); }
};

} // namespace

class TestFontTable : public QObject
{
    Q_OBJECT

private slots:
    void addressing();
    void theArchiveIsFoundBesideTheProgram();
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
}

// Every way a Read or a Save can meet an archive or a disk: what the command says, and what the
// archive holds afterwards. No command may create a file, nor change the archive's length, nor
// block, nor leave a descriptor open.
void TestFontTable::readAndSave()
{
    constexpr qint64 Size = MinimumArchiveSize + 5000;
    enum Command { Read, Export, Save }; // Export: a Read that needs no write access
    struct Case {
        const char *name;
        Command command;
        QString file; // what became of the archive since the last Read
        Fault fault;
        QString says; // empty: the command succeeds
        int written;  // bytes of the new table that reach the file; -1: not known
    } cases[] = {
        // clang-format off
        {"read", Read, "", {}, "", 0},
        {"read, missing", Read, "removed", {}, "Cannot find", 0},
        {"read, a folder", Read, "folder", {}, "is a folder", 0},
        {"read, a pipe", Read, "fifo", {}, "not a regular file", 0},
        {"read, a byte short", Read, "short", {}, "the font table ends at byte 525371735", 0},
        {"read, read-only", Read, "read-only", {}, "Permission denied.\n\nTessora needs", 0},
        {"read, leased", Read, "leased", {}, "", 0},
        {"read to export, read-only", Export, "read-only", {}, "", 0},
        {"read fails", Read, "", {.reads = {-EIO}}, "Input/output error", 0},
        {"read stops early", Read, "", {.reads = {6144, 0}}, "stopped after 6144 of 12288", 0},
        {"save", Save, "", {}, "", TableSize},
        {"save, interrupted once", Save, "", {.writes = {-EINTR, Real}}, "", TableSize},
        {"save, no room to reserve", Save, "", {.reserve = ENOSPC}, "No space left", 0},
        {"save, no reserving here", Save, "", {.reserve = EOPNOTSUPP}, "", TableSize},
        {"save, no direct reads here", Save, "", {.direct = EINVAL}, "", TableSize},
        {"save, removed", Save, "removed", {}, "Cannot find", 0},
        {"save, a folder", Save, "folder", {}, "is a folder", 0},
        {"save, a pipe", Save, "fifo", {}, "not a regular file", 0},
        {"save, grown", Save, "grown", {}, "has changed", 0},
        {"save, shrunk", Save, "short", {}, "has changed", 0},
        {"save, replaced", Save, "replaced", {}, "replaced", 0},
        {"save, changed by another", Save, "changed", {}, "changed by another program", 0},
        {"save, cache older than the disk", Save, "", {.reads = {Stale, Real}}, "changed by another", 0},
        {"save, the same, no direct reads here", Save, "", {.reads = {Stale, Real}, .direct = EINVAL}, "changed by another", 0},
        {"save, renumbered by FUSE", Save, "", {.fs = 0x6573'5546}, "", TableSize},
        {"save, renumbered on ext4", Save, "", {.fs = 0xef53}, "replaced", 0},
        {"read, a link to nothing", Read, "dangling", {}, "is a link to /nowhere/san11res.bin", 0},
        {"save, a link to nothing", Save, "dangling", {}, "is a link to /nowhere/san11res.bin", 0},
        {"read, the folder deleted", Read, "deleted", {}, "Start Tessora again", 0},
        {"save, the folder deleted", Save, "deleted", {}, "Start Tessora again", 0},
        {"save, locked", Save, "locked", {}, "is in use", 0},
        {"save, locked for reading", Save, "read-locked", {}, "is in use", 0},
        {"save, leased", Save, "leased", {}, "lease", 0},
        {"save, read-only", Save, "read-only", {}, "for writing: Permission denied", 0},
        {"save, past the size limit", Save, "limited", {}, "File too large", 0},
        {"write fails", Save, "", {.writes = {-EIO}}, "Input/output error", 0},
        {"disk full, put back", Save, "", {.writes = {100, -ENOSPC, Real}}, "were put back", 0},
        {"write stops early", Save, "", {.writes = {6144, 0}}, "stopped after 6144 of 12288", 6144},
        {"truncated meanwhile", Save, "", {.writes = {Cut, Real}}, "length of", -1},
        {"flush fails", Save, "", {.flush = EIO}, "Flushing", TableSize},
        {"read-back fails", Save, "", {.reads = {Real, -EIO}}, "Reading back", TableSize},
        {"read-back interrupted, ends early", Save, "", {.reads = {Real, -EINTR, 0, Real}}, "stopped short", TableSize},
        {"read-back differs", Save, "", {.reads = {Real, Flip}}, "differs", TableSize},
        {"close fails", Save, "", {.close = EIO}, "Closing", TableSize},
        // clang-format on
    };
    std::signal(SIGIO, SIG_IGN); // what a lease's holder is sent when another opens the file
    const rlimit unlimited = {RLIM_INFINITY, RLIM_INFINITY}, limited = {1 << 20, RLIM_INFINITY};
    for (const auto &[name, command, file, fault, says, written] : cases) {
        const bool save = command == Save;
        const AwkwardFolder awkward;
        const QByteArray dir = awkward.path, path = dir + '/' + ResourceName;
        const Folder folder(dir);
        const FontTable old = makeTable(), edited = makeTable(1);
        createArchive(path, old, Size);
        ReadResult before = readBlock(folder);
        QVERIFY(before.ok());
        const bool gone = file == "removed" || file == "folder" || file == "fifo" ||
                          file == "dangling" || file == "deleted";
        QVERIFY(!gone || ::unlink(path) == 0);
        QVERIFY(file != "dangling" || ::symlink("/nowhere/san11res.bin", path) == 0);
        // Deleted, and made anew at the same place.
        QVERIFY(file != "deleted" || (::rmdir(dir) == 0 && ::mkdir(dir, 0755) == 0));
        if (file == "deleted")
            createArchive(path, old, Size);
        QVERIFY(file != "folder" || ::mkdir(path, 0755) == 0);
        QVERIFY(file != "fifo" || ::mkfifo(path, 0644) == 0);
        if (file == "replaced") // as an updater does it
            createArchive(dir + "/new", old, Size);
        QVERIFY(file != "replaced" || ::rename(dir + "/new", path) == 0);
        QVERIFY(file != "short" || ::truncate(path, MinimumArchiveSize - 1) == 0);
        QVERIFY(file != "grown" || ::truncate(path, Size + 1) == 0);
        QVERIFY(file != "read-only" || ::chmod(path, 0444) == 0);
        auto entries = [&] { // files in the folder, and open descriptors
            const std::filesystem::directory_iterator files(dir.constData()), fds("/proc/self/fd");
            return std::pair(std::distance(begin(files), end(files)),
                             std::distance(begin(fds), end(fds)));
        };
        const auto present = entries();
        const bool locked = file.endsWith("locked");
        const int other = file == "changed" || locked ? ::open(path, O_RDWR) : -1;
        QVERIFY(file != "changed" || ::pwrite(other, "!", 1, TableOffset + TableSize - 1) == 1);
        struct flock lock = {short(file == "locked" ? F_WRLCK : F_RDLCK), SEEK_SET, TableOffset,
                             TableSize, 0};
        QVERIFY(!locked || ::fcntl(other, F_OFD_SETLK, &lock) == 0);
        const int leased = file == "leased" ? ::open(path, O_RDONLY) : -1;
        QVERIFY(file != "leased" || ::fcntl(leased, F_SETLEASE, F_RDLCK) == 0);
        QVERIFY(file != "limited" || ::setrlimit(RLIMIT_FSIZE, &limited) == 0);
        const Snapshot start = Snapshot::of(path);

        const ReadResult read =
            save              ? ReadResult{}
            : command == Read ? readBlock(folder, faulty(fault))
                              : readBlock(folder, ResourceName, Access::ReadOnly, faulty(fault));
        const QString error = storageMessage(
            save ? writeBlock(folder, before.archive, edited, faulty(fault)).failure : read.failure,
            save);
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
        ::close(other);
        ::close(leased);
#define EXPECT(condition) QVERIFY2(condition, qPrintable(name + QString(": ") + error))
        EXPECT(error.contains(says) && error.isEmpty() == says.isEmpty());
        EXPECT(entries() == present);
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
            const int fd = ::open(path, O_WRONLY);
            return ::pwrite(fd, &value, 1, TableOffset) == 1 && ::close(fd) == 0;
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
    // Root ignores file permissions: the tests run as the user nobody.
    if (::geteuid() == 0 && (::setgroups(0, nullptr) || ::setgid(65'534) || ::setuid(65'534)))
        qFatal("cannot become the user nobody");
    QCoreApplication app(argc, argv);
    TestFontTable test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_fonttable.moc"
