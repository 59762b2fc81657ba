#include "fonttable/resourcefile.h"

#include "support/archive.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace fonttable;
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

    void pathIsBesideTheProgramInAnySpelling();
    void saveChangesOnlyTheEditedBytes_data();
    void saveChangesOnlyTheEditedBytes();
    void readRefusesUnusableArchives_data();
    void readRefusesUnusableArchives();
    void saveRefusesAnArchiveChangedSinceRead_data();
    void saveRefusesAnArchiveChangedSinceRead();
    void readOnlyArchiveIsRefusedEvenForRoot();

private:
    QString archive() const { return m_dir->filePath(QLatin1String(ResourceName)); }
    void makeArchive(qint64 size = MinimumArchiveSize) const
    {
        testsupport::createArchive(archive(), testsupport::patternTable(), size);
    }

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

void TestResourceFile::pathIsBesideTheProgramInAnySpelling()
{
    const QString folder = m_dir->path();
    QCOMPARE(resourcePath(folder), archive());
    QCOMPARE(resourcePath(folder + QLatin1Char('/')), archive());

    // A copy from a system that ignores case: the one other spelling is taken.
    const QString upper = m_dir->filePath(QStringLiteral("SAN11RES.BIN"));
    testsupport::createArchive(upper, {}, 1);
    QCOMPARE(resourcePath(folder), upper);
    // Two other spellings: neither is guessed at.
    testsupport::createArchive(m_dir->filePath(QStringLiteral("San11Res.bin")), {}, 1);
    QCOMPARE(resourcePath(folder), archive());
    // The exact name wins whenever it is there.
    makeArchive(1);
    QCOMPARE(resourcePath(folder), archive());
}

void TestResourceFile::saveChangesOnlyTheEditedBytes_data()
{
    QTest::addColumn<int>("position"); // 0: saved without edits
    QTest::newRow("no edit") << 0;
    QTest::newRow("first byte") << 1;
    QTest::newRow("pixel 9 of glyph 17") << 2177;
    QTest::newRow("last byte") << TableSize;
}

void TestResourceFile::saveChangesOnlyTheEditedBytes()
{
    QFETCH(int, position);
    const qint64 size = MinimumArchiveSize + 5000;
    makeArchive(size);
    Snapshot expected = Snapshot::of(archive());

    ReadResult read = readBlock(archive());
    QVERIFY2(read.ok(), qPrintable(read.error));
    QVERIFY(read.table == testsupport::patternTable());
    QCOMPARE(read.archiveSize, size);
    if (position > 0) {
        const quint8 value = ~read.table.byte(position);
        read.table.setByte(position, value);
        expected = expected.with(TableOffset + position - 1, value);
    }
    const WriteResult written = writeBlock(archive(), read.table, read.archiveSize);
    QVERIFY2(written.ok(), qPrintable(written.error));
    QVERIFY(Snapshot::of(archive()) == expected);
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
        makeArchive(0);
    else if (kind == QLatin1String("short"))
        makeArchive(MinimumArchiveSize - 1);
    const Snapshot before = Snapshot::of(archive());
    const QStringList entries = QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden);

    const ReadResult result = readBlock(archive());
    QVERIFY2(result.error.contains(says), qPrintable(result.error));
    QVERIFY2(result.error.contains(archive()), qPrintable(result.error));
    QVERIFY(Snapshot::of(archive()) == before);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden), entries);
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
    makeArchive();
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

    const QString error = writeBlock(archive(), read.table, read.archiveSize).error;
    QVERIFY2(error.contains(says), qPrintable(error));
    QVERIFY2(error.contains(QLatin1String("Nothing was saved")), qPrintable(error));
    QVERIFY(Snapshot::of(archive()) == before);
}

void TestResourceFile::readOnlyArchiveIsRefusedEvenForRoot()
{
    makeArchive();
    ReadResult read = readBlock(archive()); // before the file became read-only
    QVERIFY(read.ok());
    read.table.setByte(1, ~read.table.byte(1));
    QVERIFY(
        QFile::setPermissions(archive(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const Snapshot before = Snapshot::of(archive());

    const QString readError = withoutPrivileges([this] { return readBlock(archive()).error; });
    QVERIFY2(readError.contains(QLatin1String("Permission denied")), qPrintable(readError));
    QVERIFY2(readError.contains(archive()), qPrintable(readError));
    const QString saveError = withoutPrivileges(
        [&] { return writeBlock(archive(), read.table, read.archiveSize).error; });
    QVERIFY2(saveError.contains(QLatin1String("Permission denied")), qPrintable(saveError));
    QVERIFY(Snapshot::of(archive()) == before);
}

QTEST_GUILESS_MAIN(TestResourceFile)
#include "tst_resourcefile.moc"
