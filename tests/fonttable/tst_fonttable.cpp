#include "fonttable/resourcefile.h"

#include "support/support.h"

#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <filesystem>
#include <set>

#include <grp.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace fonttable;
using testsupport::Snapshot;

namespace
{

constexpr int Real = 1 << 30; // in a script: the real call

// How a disk fails: what successive reads and writes do (move at most so many bytes, or fail
// with minus an errno; the last step stands for all later calls), and the other calls' errors.
struct Fault {
    std::vector<int> reads = {Real}, writes = {Real};
    int reserve = 0, flush = 0, close = 0, direct = 0;
    bool flip = false;     // reads after the first come back with a byte flipped
    bool truncate = false; // another program cuts the file short as the write begins
};

FileCalls faulty(const Fault &f)
{
    FileCalls calls;
    auto scripted = [](std::vector<int> script, auto call) {
        return [script, call, n = std::make_shared<size_t>(0)](int fd, auto *buffer, size_t count,
                                                               off_t at) -> ssize_t {
            const int step = script[std::min((*n)++, script.size() - 1)];
            return step < 0 ? (errno = -step, -1)
                            : call(fd, buffer, std::min(count, size_t(step)), at);
        };
    };
    calls.pread = scripted(f.reads, ::pread);
    calls.pwrite = scripted(f.writes, [f](int fd, const void *buffer, size_t count, off_t at) {
        if (f.truncate && at == TableOffset)
            (void)::ftruncate(fd, 1000);
        return ::pwrite(fd, buffer, count, at);
    });
    if (f.flip)
        calls.pread = [n = std::make_shared<int>(0)](int fd, void *buffer, size_t count, off_t at) {
            const ssize_t got = ::pread(fd, buffer, count, at);
            if (const qint64 i = TableOffset + 100 - at; (*n)++ && i >= 0 && i < got)
                static_cast<char *>(buffer)[i] ^= 1;
            return got;
        };
    auto fails = [](int error, auto real) {
        return [=](auto... args) {
            return error ? (errno = error, -1) : real(args...);
        };
    };
    calls.fallocate = fails(f.reserve, ::fallocate);
    calls.fdatasync = fails(f.flush, ::fdatasync);
    calls.close = [error = f.close](int fd) {
        const int closed = ::close(fd);
        return error ? (errno = error, -1) : closed;
    };
    calls.openat = [error = f.direct](int dir, const char *name, int flags) {
        return error && (flags & O_DIRECT) ? (errno = error, -1) : ::openat(dir, name, flags);
    };
    return calls;
}

// A folder named as nothing a program should trip over: markup, a placeholder, a byte that is
// not UTF-8.
struct AwkwardFolder {
    QTemporaryDir top;
    QByteArray path = QFile::encodeName(top.path()) + "/<b>%2 \xff";

    AwkwardFolder()
    {
        if (::mkdir(path.constData(), 0755) != 0)
            qFatal("cannot make %s", path.constData());
    }
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

void TestFontTable::addressing()
{
    const int cases[][3] = {{1, 1, 1},       {1, 9, 129},      {2, 1, 9},     {16, 1, 121},
                            {16, 128, 2048}, {17, 1, 2049},    {17, 9, 2177}, {32, 1, 2169},
                            {81, 1, 10'241}, {96, 128, 12'288}};
    for (const auto &[glyph, pixel, position] : cases) {
        QCOMPARE(pixelPosition(glyph, pixel), position);
        if (pixel == 1)
            QCOMPARE(glyphFirstByte(glyph), position);
    }
    // The 96 x 128 pixels cover the block exactly once.
    std::set<int> positions;
    for (int g = 1; g <= GlyphCount; ++g)
        for (int k = 1; k <= PixelsPerGlyph; ++k)
            positions.insert(pixelPosition(g, k));
    QCOMPARE(int(positions.size()), TableSize);
    QCOMPARE(*positions.rbegin(), TableSize);
    QCOMPARE(grayColor(0x5a), 0x5a5a5au);
}

void TestFontTable::theArchiveIsFoundBesideTheProgram()
{
    const AwkwardFolder dir;
    const QByteArray game = dir.path, elsewhere = QFile::encodeName(dir.top.path());
    auto found = [](const QByteArray &command) {
        const ReadResult read = readBlock(Folder::ofProgram(command.constData()));
        return read.ok() ? QString(read.archive.name) : read.error;
    };
    testsupport::createArchive(elsewhere + "/san11res.bin", {});
    // Started through a link placed in the game's folder, or found through PATH, the program
    // works on the archive beside the link.
    QVERIFY(::symlink("/bin/true", game + "/tessora") == 0);
    QVERIFY(found(game + "/tessora").startsWith("Cannot find " + QFile::decodeName(game)));
    testsupport::createArchive(game + "/SAN11RES.BIN", {});
    QCOMPARE(found(game + "/tessora"), "SAN11RES.BIN");
    qputenv("PATH", "/nonexistent:" + game);
    QCOMPARE(found("tessora"), "SAN11RES.BIN");

    // A copy from a system that ignores case: another spelling is taken when it is the only
    // regular file; the exact name wins; two others are named, not guessed at.
    QVERIFY(::mkfifo(game + "/san11res.bin", 0644) == 0);
    QCOMPARE(found(game + "/x"), "SAN11RES.BIN");
    testsupport::createArchive(game + "/San11Res.bin", {});
    const QString both = found(game + "/x");
    QVERIFY2(both.contains("San11Res.bin") && both.contains("SAN11RES.BIN"), qPrintable(both));
    QVERIFY(::unlink(game + "/san11res.bin") == 0);
    testsupport::createArchive(game + "/san11res.bin", {});
    QCOMPARE(found(game + "/x"), "san11res.bin");
    QVERIFY(Folder("/nonexistent").error().contains("/nonexistent"));
}

// Every way a Read or a Save can meet an archive or a disk: what the command says, and what the
// archive holds afterwards. No command may create a file, nor change the archive's length, nor
// block.
void TestFontTable::readAndSave()
{
    constexpr qint64 Size = MinimumArchiveSize + 5000;
    struct Case {
        const char *name;
        bool save;        // else a Read
        const char *file; // what became of the archive since the last Read
        Fault fault;
        const char *says; // empty: the command succeeds
        int written;      // bytes of the new table that reach the file; -1: not known
    } cases[] = {
        // clang-format off
        {"read", false, "", {}, "", 0},
        {"read, missing", false, "removed", {}, "Cannot find", 0},
        {"read, a folder", false, "folder", {}, "is a folder", 0},
        {"read, a pipe", false, "fifo", {}, "not a regular file", 0},
        {"read, empty", false, "empty", {}, "too short", 0},
        {"read, a byte short", false, "short", {}, "too short", 0},
        {"read, read-only", false, "read-only", {}, "Permission denied.\n\nTessora needs", 0},
        {"read, leased", false, "leased", {}, "", 0},
        {"read fails", false, "", {.reads = {-EIO}}, "Input/output error", 0},
        {"read stops early", false, "", {.reads = {6144, 0}}, "stopped after 6144 of 12288", 0},
        {"save", true, "", {}, "", TableSize},
        {"save, interrupted once", true, "", {.writes = {-EINTR, Real}}, "", TableSize},
        {"save, no room to reserve", true, "", {.reserve = ENOSPC}, "No space left", 0},
        {"save, no reserving here", true, "", {.reserve = EOPNOTSUPP}, "", TableSize},
        {"save, no direct reads here", true, "", {.direct = EINVAL}, "", TableSize},
        {"save, removed", true, "removed", {}, "Cannot find", 0},
        {"save, a folder", true, "folder", {}, "is a folder", 0},
        {"save, a pipe", true, "fifo", {}, "not a regular file", 0},
        {"save, grown", true, "grown", {}, "has changed", 0},
        {"save, shrunk", true, "short", {}, "has changed", 0},
        {"save, replaced", true, "replaced", {}, "replaced", 0},
        {"save, changed by another", true, "changed", {}, "changed by another program", 0},
        {"save, locked", true, "locked", {}, "is in use", 0},
        {"save, leased", true, "leased", {}, "lease", 0},
        {"save, read-only", true, "read-only", {}, "Permission denied", 0},
        {"save, past the size limit", true, "limited", {}, "File too large", 0},
        {"write fails", true, "", {.writes = {-EIO}}, "Input/output error", 0},
        {"disk full, put back", true, "", {.writes = {100, -ENOSPC, Real}}, "were put back", 0},
        {"write stops early", true, "", {.writes = {6144, 0}}, "stopped after 6144 of 12288", 6144},
        {"truncated meanwhile", true, "", {.truncate = true}, "length of", -1},
        {"flush fails", true, "", {.flush = EIO}, "Flushing", TableSize},
        {"read-back fails", true, "", {.reads = {Real, -EIO}}, "Reading back", TableSize},
        {"read-back differs", true, "", {.flip = true}, "differs", TableSize},
        {"close fails", true, "", {.close = EIO}, "Closing", TableSize},
        // clang-format on
    };
    std::signal(SIGIO, SIG_IGN); // what a lease's holder is sent when another opens the file
    for (const Case &c : cases) {
        const AwkwardFolder awkward;
        const QByteArray dir = awkward.path, path = dir + '/' + ResourceName;
        const Folder folder(dir);
        const QString file = c.file;
        const FontTable old = testsupport::makeTable();
        testsupport::createArchive(path, old, file == "empty" ? 0 : Size);
        ReadResult before = readBlock(folder);
        QVERIFY(before.ok() || file == "empty");
        if (file == "removed" || file == "folder" || file == "fifo")
            QVERIFY(::unlink(path) == 0);
        if (file == "folder")
            QVERIFY(::mkdir(path, 0755) == 0);
        if (file == "fifo")
            QVERIFY(::mkfifo(path, 0644) == 0);
        if (file == "replaced") { // as an updater does it
            testsupport::createArchive(dir + "/new", old, Size);
            QVERIFY(::rename(dir + "/new", path) == 0);
        }
        if (file == "short" || file == "grown")
            QVERIFY(::truncate(path, file == "short" ? MinimumArchiveSize - 1 : Size + 1) == 0);
        if (file == "read-only")
            QVERIFY(::chmod(path, 0444) == 0);
        // Files in the folder, and descriptors open: neither may be left behind.
        auto entries = [&] {
            const std::filesystem::directory_iterator files(dir.constData()), fds("/proc/self/fd");
            return std::pair(std::distance(begin(files), end(files)),
                             std::distance(begin(fds), end(fds)));
        };
        const auto present = entries();
        const bool meddle = file == "changed" || file == "locked";
        const int other = meddle ? ::open(path, O_RDWR | O_NONBLOCK) : -1;
        if (file == "changed")
            QVERIFY(::pwrite(other, "!", 1, TableOffset + TableSize - 1) == 1); // the last byte
        struct flock lock = {F_WRLCK, SEEK_SET, TableOffset, TableSize, 0};
        if (file == "locked")
            QVERIFY(::fcntl(other, F_OFD_SETLK, &lock) == 0);
        const int leased = file == "leased" ? ::open(path, O_RDONLY) : -1;
        if (file == "leased")
            QVERIFY(::fcntl(leased, F_SETLEASE, F_RDLCK) == 0);
        const rlimit unlimited = {RLIM_INFINITY, RLIM_INFINITY}, limited = {1 << 20, RLIM_INFINITY};
        if (file == "limited")
            QVERIFY(::setrlimit(RLIMIT_FSIZE, &limited) == 0);
        const Snapshot start = Snapshot::of(path);

        FontTable edited;
        for (int i = 1; i <= TableSize; ++i)
            edited.setByte(i, quint8(~old.byte(i)));
        const FileCalls calls = faulty(c.fault);
        const ReadResult read = c.save ? ReadResult{} : readBlock(folder, calls);
        const QString error =
            c.save ? writeBlock(folder, before.archive, edited, calls).error : read.error;
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
        ::close(other);
        ::close(leased);

        const QString name = QStringLiteral("%1: %2").arg(c.name, error);
        QVERIFY2(error.contains(c.says), qPrintable(name));
        QVERIFY2(error.isEmpty() == !*c.says, qPrintable(name));
        QCOMPARE(entries(), present);
        if (!c.save && error.isEmpty())
            QVERIFY(read.archive.base == old && read.archive.size == Size);
        if (!error.isEmpty() && file != "fifo" && file != "leased")
            QVERIFY2(error.contains(displayPath(folder, ResourceName)), qPrintable(name));
        if (c.save && !error.isEmpty())
            QVERIFY2(error.contains(c.written ? "may be incomplete" : "Nothing was saved"),
                     qPrintable(name));
        if (c.save && !c.written && !error.isEmpty())
            QVERIFY2(!error.contains("choose Read") && !error.contains("Choose Read"),
                     qPrintable(name));
        FontTable expected = old;
        std::copy_n(edited.data(), std::max(0, c.written), expected.data());
        if (c.written >= 0)
            QVERIFY2(Snapshot::of(path) == (c.written ? Snapshot::archive(expected, Size) : start),
                     qPrintable(name));
        // Saved again with the disk mended, the edits land exactly.
        if (c.save && !error.isEmpty() && c.written > 0)
            QVERIFY2(writeBlock(folder, before.archive, edited).ok(), qPrintable(name));
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
