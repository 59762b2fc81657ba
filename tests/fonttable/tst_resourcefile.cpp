#include "fonttable/resourcefile.h"

#include "support/archive.h"
#include "support/faultydisk.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace fonttable;
using testsupport::Fault;
using testsupport::FaultyDisk;
using testsupport::Snapshot;

namespace
{

// Root ignores file permissions, so under root the permission cases run as the user nobody in
// a child process. Returns the error text that fn returned there.
QString withoutPrivileges(const std::function<QString()> &fn)
{
    if (::geteuid() != 0)
        return fn();
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        qFatal("pipe: %s", strerror(errno));
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        const uid_t nobody = 65'534;
        if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)
            ::_exit(3);
        const QByteArray error = fn().toUtf8();
        const bool sent =
            ::write(pipeFds[1], error.constData(), size_t(error.size())) == error.size();
        ::_exit(sent ? 0 : 4);
    }
    ::close(pipeFds[1]);
    QByteArray error;
    char buffer[1024];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        error.append(buffer, int(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        qFatal("the unprivileged child failed with status %d", status);
    return QString::fromUtf8(error);
}

} // namespace

class TestResourceFile : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void pathIsBesideTheProgram();
    void pathAcceptsOneOtherSpelling();
    void pathKeepsTheNameWhenSpellingsAreAmbiguous();

    void readTakesTheBlockAtItsOffset();
    void saveWithoutEditsChangesNothing();
    void savedByteLandsAtItsOffsetOnly_data();
    void savedByteLandsAtItsOffsetOnly();

    void readRefusesUnusableArchives_data();
    void readRefusesUnusableArchives();
    void readRefusesAReadOnlyArchive();
    void saveRefusesAnArchiveChangedSinceRead_data();
    void saveRefusesAnArchiveChangedSinceRead();
    void saveRefusesAReadOnlyArchive();

    void readFaults_data();
    void readFaults();
    void writeFaults_data();
    void writeFaults();

private:
    QString archive() const { return m_dir->filePath(QLatin1String(ResourceName)); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestResourceFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    // Open to the unprivileged child as well.
    QFile::setPermissions(m_dir->path(),
                          QFile::permissions(m_dir->path()) | QFile::ReadOther | QFile::ExeOther);
}

void TestResourceFile::pathIsBesideTheProgram()
{
    QCOMPARE(resourcePath(m_dir->path()), m_dir->path() + QLatin1String("/san11res.bin"));
    QCOMPARE(resourcePath(m_dir->path() + QLatin1Char('/')),
             m_dir->path() + QLatin1String("/san11res.bin"));
}

void TestResourceFile::pathAcceptsOneOtherSpelling()
{
    const QString upper = m_dir->filePath(QStringLiteral("SAN11RES.BIN"));
    testsupport::createArchive(upper, testsupport::patternTable(), 1);
    QCOMPARE(resourcePath(m_dir->path()), upper);

    // The exact name wins whenever it is there.
    testsupport::createArchive(archive(), testsupport::patternTable(), 1);
    QCOMPARE(resourcePath(m_dir->path()), archive());
}

void TestResourceFile::pathKeepsTheNameWhenSpellingsAreAmbiguous()
{
    testsupport::createArchive(m_dir->filePath(QStringLiteral("SAN11RES.BIN")),
                               testsupport::patternTable(), 1);
    testsupport::createArchive(m_dir->filePath(QStringLiteral("San11Res.bin")),
                               testsupport::patternTable(), 1);
    QCOMPARE(resourcePath(m_dir->path()), archive());
}

void TestResourceFile::readTakesTheBlockAtItsOffset()
{
    const qint64 size = MinimumArchiveSize + 5000;
    testsupport::createArchive(archive(), testsupport::patternTable(), size);
    const ReadResult result = readBlock(archive());
    QVERIFY2(result.ok(), qPrintable(result.error));
    QVERIFY(result.table == testsupport::patternTable());
    QCOMPARE(result.archiveSize, size);
}

void TestResourceFile::saveWithoutEditsChangesNothing()
{
    testsupport::createArchive(archive(), testsupport::patternTable());
    const Snapshot before = Snapshot::of(archive());
    const ReadResult read = readBlock(archive());
    QVERIFY(read.ok());
    const WriteResult written = writeBlock(archive(), read.table, read.archiveSize);
    QVERIFY2(written.ok(), qPrintable(written.error));
    QVERIFY(Snapshot::of(archive()) == before);
}

void TestResourceFile::savedByteLandsAtItsOffsetOnly_data()
{
    QTest::addColumn<int>("position");
    QTest::newRow("first byte") << 1;
    QTest::newRow("pixel 9 of glyph 17") << 2177;
    QTest::newRow("last byte") << TableSize;
}

void TestResourceFile::savedByteLandsAtItsOffsetOnly()
{
    QFETCH(int, position);
    testsupport::createArchive(archive(), testsupport::patternTable());
    const Snapshot before = Snapshot::of(archive());
    ReadResult read = readBlock(archive());
    QVERIFY(read.ok());
    const quint8 value = ~read.table.byte(position);
    read.table.setByte(position, value);
    QVERIFY(writeBlock(archive(), read.table, read.archiveSize).ok());
    QVERIFY(Snapshot::of(archive()) == before.with(TableOffset + position - 1, value));
}

void TestResourceFile::readRefusesUnusableArchives_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("says");
    QTest::newRow("missing") << "missing"
                             << "Cannot find";
    QTest::newRow("directory") << "directory"
                               << "is a folder";
    QTest::newRow("empty") << "empty"
                           << "too short";
    QTest::newRow("one byte short") << "short"
                                    << "too short";
}

void TestResourceFile::readRefusesUnusableArchives()
{
    QFETCH(QString, kind);
    QFETCH(QString, says);
    if (kind == QLatin1String("directory"))
        QVERIFY(QDir(m_dir->path()).mkdir(QLatin1String(ResourceName)));
    else if (kind == QLatin1String("empty"))
        testsupport::createArchive(archive(), {}, 0);
    else if (kind == QLatin1String("short"))
        testsupport::createArchive(archive(), testsupport::patternTable(), MinimumArchiveSize - 1);
    const Snapshot before = Snapshot::of(archive());
    const QStringList entries = QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden);

    const ReadResult result = readBlock(archive());
    QVERIFY(!result.ok());
    QVERIFY2(result.error.contains(says), qPrintable(result.error));
    QVERIFY2(result.error.contains(archive()), qPrintable(result.error));
    QVERIFY(Snapshot::of(archive()) == before);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden), entries);
}

void TestResourceFile::readRefusesAReadOnlyArchive()
{
    testsupport::createArchive(archive(), testsupport::patternTable());
    QVERIFY(
        QFile::setPermissions(archive(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const Snapshot before = Snapshot::of(archive());
    const QString error = withoutPrivileges([this] { return readBlock(archive()).error; });
    QVERIFY2(error.contains(QLatin1String("Permission denied")), qPrintable(error));
    QVERIFY2(error.contains(archive()), qPrintable(error));
    QVERIFY(Snapshot::of(archive()) == before);
}

void TestResourceFile::saveRefusesAnArchiveChangedSinceRead_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("says");
    QTest::newRow("removed") << "removed"
                             << "Cannot find";
    QTest::newRow("grown by a byte") << "grown"
                                     << "has changed";
    QTest::newRow("shrunk by a byte") << "shrunk"
                                      << "has changed";
    QTest::newRow("replaced by a folder") << "folder"
                                          << "Is a directory";
}

void TestResourceFile::saveRefusesAnArchiveChangedSinceRead()
{
    QFETCH(QString, change);
    QFETCH(QString, says);
    testsupport::createArchive(archive(), testsupport::patternTable());
    ReadResult read = readBlock(archive());
    QVERIFY(read.ok());
    read.table.setByte(1, ~read.table.byte(1));

    if (change == QLatin1String("removed") || change == QLatin1String("folder"))
        QVERIFY(QFile::remove(archive()));
    if (change == QLatin1String("folder"))
        QVERIFY(QDir(m_dir->path()).mkdir(QLatin1String(ResourceName)));
    if (change == QLatin1String("grown") || change == QLatin1String("shrunk"))
        QVERIFY(QFile::resize(archive(), read.archiveSize + (change == "grown" ? 1 : -1)));
    const Snapshot before = Snapshot::of(archive());

    const WriteResult result = writeBlock(archive(), read.table, read.archiveSize);
    QVERIFY(!result.ok());
    QVERIFY2(result.error.contains(says), qPrintable(result.error));
    QVERIFY2(result.error.contains(QLatin1String("Nothing was saved")), qPrintable(result.error));
    QVERIFY(Snapshot::of(archive()) == before);
}

void TestResourceFile::saveRefusesAReadOnlyArchive()
{
    testsupport::createArchive(archive(), testsupport::patternTable());
    ReadResult read = readBlock(archive());
    QVERIFY(read.ok());
    read.table.setByte(1, ~read.table.byte(1));
    QVERIFY(
        QFile::setPermissions(archive(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const Snapshot before = Snapshot::of(archive());
    const QString error = withoutPrivileges(
        [&] { return writeBlock(archive(), read.table, read.archiveSize).error; });
    QVERIFY2(error.contains(QLatin1String("Permission denied")), qPrintable(error));
    QVERIFY(Snapshot::of(archive()) == before);
}

void TestResourceFile::readFaults_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("says"); // empty: the read succeeds
    QTest::newRow("I/O error") << Fault::ReadError << "Input/output error";
    QTest::newRow("stops early") << Fault::ReadStopsEarly << "stopped after 6144 of 12288";
    QTest::newRow("interrupted, then fine") << Fault::ReadInterrupted << "";
}

void TestResourceFile::readFaults()
{
    QFETCH(Fault, fault);
    QFETCH(QString, says);
    testsupport::createArchive(archive(), testsupport::patternTable());
    const Snapshot before = Snapshot::of(archive());
    const ReadResult result = readBlock(archive(), FaultyDisk(fault).calls());
    if (says.isEmpty()) {
        QVERIFY2(result.ok(), qPrintable(result.error));
        QVERIFY(result.table == testsupport::patternTable());
    } else {
        QVERIFY2(result.error.contains(says), qPrintable(result.error));
    }
    QVERIFY(Snapshot::of(archive()) == before);
}

void TestResourceFile::writeFaults_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("says"); // empty: the save succeeds
    QTest::addColumn<bool>("untouched");
    QTest::newRow("I/O error") << Fault::WriteError << "Nothing was saved" << true;
    QTest::newRow("stops early") << Fault::WriteStopsEarly << "stopped after 6144 of 12288"
                                 << false;
    QTest::newRow("disk full after a partial write")
        << Fault::NoSpaceAfterPartialWrite << "No space left on device" << false;
    QTest::newRow("interrupted, then fine") << Fault::WriteInterrupted << "" << false;
    QTest::newRow("flush fails") << Fault::FlushFails << "Flushing" << false;
    QTest::newRow("read-back fails") << Fault::ReadBackFails << "Reading back" << false;
    QTest::newRow("read-back differs") << Fault::ReadBackDiffers << "differs" << false;
    QTest::newRow("close fails") << Fault::CloseFails << "Closing" << false;
}

void TestResourceFile::writeFaults()
{
    QFETCH(Fault, fault);
    QFETCH(QString, says);
    QFETCH(bool, untouched);
    testsupport::createArchive(archive(), testsupport::patternTable());
    const Snapshot before = Snapshot::of(archive());
    ReadResult read = readBlock(archive());
    QVERIFY(read.ok());
    const int position = 3000;
    const quint8 value = ~read.table.byte(position);
    read.table.setByte(position, value);
    const Snapshot edited = before.with(TableOffset + position - 1, value);

    const WriteResult result =
        writeBlock(archive(), read.table, read.archiveSize, FaultyDisk(fault).calls());
    if (says.isEmpty()) {
        QVERIFY2(result.ok(), qPrintable(result.error));
        QVERIFY(Snapshot::of(archive()) == edited);
        return;
    }
    QVERIFY2(result.error.contains(says), qPrintable(result.error));
    QCOMPARE(result.error.contains(QLatin1String("may be incomplete")), !untouched);
    const Snapshot after = Snapshot::of(archive());
    QCOMPARE(after.size, before.size);
    if (untouched)
        QVERIFY(after == before);

    // Once the fault clears, saving again puts exactly the edit in place.
    QVERIFY(writeBlock(archive(), read.table, read.archiveSize).ok());
    QVERIFY(Snapshot::of(archive()) == edited);
}

QTEST_GUILESS_MAIN(TestResourceFile)
#include "tst_resourcefile.moc"
