#include "fonttable/resourcefile.h"

#include "support/support.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <set>

#include <grp.h>
#include <unistd.h>

using namespace fonttable;
using testsupport::Snapshot;

namespace
{

enum Fault {
    NoFault,
    ReadFails,
    ReadHalf,
    ReadFlips,
    WriteFails,
    WriteHalf,
    NoSpace,
    Interrupted,
    FlushFails,
    CloseFails
};

// File calls that fail the way a disk can.
FileCalls faulty(Fault fault)
{
    FileCalls calls;
    auto first = std::make_shared<bool>(true);
    auto fail = [](int code) {
        return errno = code, -1;
    };
    auto once = [first] {
        return std::exchange(*first, false);
    };
    if (fault == ReadFails)
        calls.pread = [=](int, void *, size_t, off_t) -> ssize_t {
            return fail(EIO);
        };
    if (fault == ReadHalf || fault == ReadFlips)
        calls.pread = [=](int fd, void *buffer, size_t count, off_t at) -> ssize_t {
            if (fault == ReadHalf)
                return once() ? ::pread(fd, buffer, count / 2, at) : 0;
            const ssize_t n = ::pread(fd, buffer, count, at);
            static_cast<char *>(buffer)[100] ^= n > 100 ? 1 : 0;
            return n;
        };
    if (fault == WriteFails || fault == WriteHalf || fault == NoSpace || fault == Interrupted)
        calls.pwrite = [=](int fd, const void *buffer, size_t count, off_t at) -> ssize_t {
            const bool isFirst = once();
            if (fault == WriteFails || (fault == Interrupted && isFirst))
                return fail(fault == WriteFails ? EIO : EINTR);
            if (fault == Interrupted)
                return ::pwrite(fd, buffer, count, at);
            if (!isFirst)
                return fault == NoSpace ? fail(ENOSPC) : 0;
            return ::pwrite(fd, buffer, fault == NoSpace ? 100 : count / 2, at);
        };
    if (fault == FlushFails)
        calls.fdatasync = [=](int) {
            return fail(EIO);
        };
    if (fault == CloseFails)
        calls.close = [=](int fd) {
            return ::close(fd), fail(EIO);
        };
    return calls;
}

} // namespace

class TestFontTable : public QObject
{
    Q_OBJECT

private slots:
    void addressing();
    void pathIsBesideTheProgramInAnySpelling();
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

void TestFontTable::pathIsBesideTheProgramInAnySpelling()
{
    QTemporaryDir dir;
    const QString exact = dir.filePath(ResourceName);
    QCOMPARE(resourcePath(dir.path()), exact);
    QCOMPARE(resourcePath(dir.path() + '/'), exact);
    // A copy from a system that ignores case: the one other spelling is taken, two are not.
    testsupport::createArchive(dir.filePath("SAN11RES.BIN"), {}, 1);
    QCOMPARE(resourcePath(dir.path()), dir.filePath("SAN11RES.BIN"));
    testsupport::createArchive(dir.filePath("San11Res.bin"), {}, 1);
    QCOMPARE(resourcePath(dir.path()), exact);
    testsupport::createArchive(exact, {}, 1);
    QCOMPARE(resourcePath(dir.path()), exact);
}

// Every way a Read or a Save can meet an archive or a disk: what the command says, and what the
// archive holds afterwards. No command may create a file, nor change the archive's length.
void TestFontTable::readAndSave()
{
    constexpr qint64 Size = MinimumArchiveSize + 5000;
    struct Case {
        const char *name;
        bool save;        // else a Read
        const char *file; // what became of the archive before the command
        Fault fault;
        const char *says; // empty: the command succeeds
        int written;      // bytes of the new table that reach the file
    } cases[] = {
        {"read", false, "", NoFault, "", 0},
        {"read, missing", false, "removed", NoFault, "Cannot find", 0},
        {"read, a folder", false, "folder", NoFault, "is a folder", 0},
        {"read, empty", false, "empty", NoFault, "too short", 0},
        {"read, a byte short", false, "short", NoFault, "too short", 0},
        {"read, read-only", false, "read-only", NoFault, "Permission denied", 0},
        {"read fails", false, "", ReadFails, "Input/output error", 0},
        {"read stops early", false, "", ReadHalf, "stopped after 6144 of 12288", 0},
        {"save", true, "", NoFault, "", TableSize},
        {"save, interrupted once", true, "", Interrupted, "", TableSize},
        {"save, removed", true, "removed", NoFault, "Cannot find", 0},
        {"save, a folder", true, "folder", NoFault, "Is a directory", 0},
        {"save, grown", true, "grown", NoFault, "has changed", 0},
        {"save, shrunk", true, "short", NoFault, "has changed", 0},
        {"save, read-only", true, "read-only", NoFault, "Permission denied", 0},
        {"write fails", true, "", WriteFails, "Input/output error", 0},
        {"write stops early", true, "", WriteHalf, "stopped after 6144 of 12288", 6144},
        {"disk full", true, "", NoSpace, "No space left", 100},
        {"flush fails", true, "", FlushFails, "Flushing", TableSize},
        {"read-back fails", true, "", ReadFails, "Reading back", TableSize},
        {"read-back differs", true, "", ReadFlips, "differs", TableSize},
        {"close fails", true, "", CloseFails, "Closing", TableSize},
    };
    for (const Case &c : cases) {
        QTemporaryDir dir;
        const QString path = dir.filePath(ResourceName);
        const QString file = c.file;
        const FontTable old = testsupport::makeTable();
        testsupport::createArchive(path, old, file == "empty" ? 0 : Size);
        const ReadResult before = readBlock(path);
        QVERIFY(before.ok() || file == "empty");
        if (file == "removed" || file == "folder")
            QVERIFY(QFile::remove(path));
        if (file == "folder")
            QVERIFY(QDir(dir.path()).mkdir(ResourceName));
        if (file == "short" || file == "grown")
            QVERIFY(QFile::resize(path, file == "short" ? MinimumArchiveSize - 1 : Size + 1));
        if (file == "read-only")
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadOther));
        const Snapshot start = Snapshot::of(path);
        const QStringList entries = QDir(dir.path()).entryList(QDir::AllEntries | QDir::System);

        FontTable edited;
        for (int i = 1; i <= TableSize; ++i)
            edited.setByte(i, quint8(~old.byte(i)));
        const FileCalls calls = faulty(c.fault);
        const ReadResult read = c.save ? ReadResult{} : readBlock(path, calls);
        const QString error =
            c.save ? writeBlock(path, edited, before.archiveSize, calls).error : read.error;

        const QString name = QStringLiteral("%1: %2").arg(c.name, error);
        QVERIFY2(error.contains(c.says), qPrintable(name));
        QVERIFY2(error.isEmpty() == !*c.says, qPrintable(name));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::System), entries);
        if (!c.save && error.isEmpty())
            QVERIFY(read.table == old && read.archiveSize == Size);
        if (!c.save && !error.isEmpty())
            QVERIFY2(error.contains(path), qPrintable(name));
        if (c.save && !error.isEmpty())
            QVERIFY2(error.contains(c.written ? "may be incomplete" : "Nothing was saved"),
                     qPrintable(name));
        FontTable expected = old;
        std::copy_n(edited.data(), c.written, expected.data());
        QVERIFY2(Snapshot::of(path) == (c.written ? Snapshot::archive(expected, Size) : start),
                 qPrintable(name));
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
