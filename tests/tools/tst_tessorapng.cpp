#include "support/support.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTest>

using namespace testsupport;

class TestTessoraPng : public QObject
{
    Q_OBJECT

private slots:
    void roundTrips();
    void refusals();

private:
    // Runs the tool; returns its exit code and what it wrote to standard error.
    std::pair<int, QString> run(const QStringList &arguments)
    {
        QProcess tool;
        tool.start(TESSORA_PNG, arguments);
        tool.waitForFinished();
        return {tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1,
                QString::fromLocal8Bit(tool.readAllStandardError())};
    }
    QString in(const char *name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

void TestTessoraPng::roundTrips()
{
    const FontTable table = makeTable();
    const QByteArray archive = QFile::encodeName(in(ResourceName));
    createArchive(archive, table);
    QCOMPARE(run({"export", archive, in("font.png")}), std::pair(0, QString()));
    const QImage exported(in("font.png"));
    QVERIFY(exported.format() == QImage::Format_Grayscale8 && exported.size() == QSize(128, 96));
    for (int i = 0; i < TableSize; ++i)
        QCOMPARE(qGray(exported.pixel(i % 128, i / 128)), int(table.byte(i + 1)));
    // Back with one pixel changed, as image editors save it: gray, RGB, a palette, 16 bits.
    for (QImage::Format format : {QImage::Format_Grayscale8, QImage::Format_RGB32,
                                  QImage::Format_Indexed8, QImage::Format_Grayscale16}) {
        QImage edited = exported.convertToFormat(QImage::Format_RGB32);
        edited.setPixel(5, 7, qRgb(200, 200, 200));
        QVERIFY(edited.convertToFormat(format).save(in("edited.png")));
        QCOMPARE(run({"import", in("edited.png"), archive}), std::pair(0, QString()));
        FontTable expected = table;
        expected.setByte(128 * 7 + 5 + 1, 200);
        QVERIFY(Snapshot::of(archive) == Snapshot::archive(expected));
    }
    QCOMPARE(run({"--help"}).first, 0);
}

// Each refused before the archive is touched, with one line naming the file and the problem.
void TestTessoraPng::refusals()
{
    const QByteArray archive = QFile::encodeName(in("copy.bin")); // an archive of any name
    createArchive(archive, makeTable());
    createArchive(QFile::encodeName(in("short.bin")), {}, MinimumArchiveSize - 1);
    QImage gray(128, 96, QImage::Format_ARGB32), coloured, transparent;
    gray.fill(qRgb(90, 90, 90));
    (coloured = gray).setPixel(3, 4, qRgb(90, 91, 90));
    (transparent = gray).setPixel(3, 4, qRgba(90, 90, 90, 254));
    QVERIFY(gray.save(in("gray.png")) && gray.copy(0, 0, 130, 96).save(in("wide.png")) &&
            coloured.save(in("coloured.png")) && transparent.save(in("transparent.png")));
    QFile whole(in("gray.png")), text(in("text.png")), damaged(in("damaged.png"));
    QVERIFY(whole.open(QIODevice::ReadOnly) && text.open(QIODevice::WriteOnly) &&
            damaged.open(QIODevice::WriteOnly) && text.write("not an image") > 0 &&
            damaged.write(whole.read(whole.size() / 2)) > 0 && damaged.flush());
    const struct {
        QStringList arguments;
        const char *file;
        const char *says;
    } cases[] = {
        {{"import", in("wide.png"), archive}, "wide.png", "130 x 96"},
        {{"import", in("coloured.png"), archive}, "coloured.png", "(3, 4) is not gray"},
        {{"import", in("transparent.png"), archive}, "transparent.png", "(3, 4) is not fully"},
        {{"import", in("text.png"), archive}, "text.png", "not a PNG"},
        {{"import", in("damaged.png"), archive}, "damaged.png", "damaged"},
        {{"import", in("missing.png"), archive}, "missing.png", "No such file"},
        {{"import", in("gray.png"), in("missing.bin")}, "missing.bin", "Cannot find"},
        {{"import", in("gray.png"), in("short.bin")}, "short.bin", "too short"},
        {{"export", in("missing.bin"), in("new.png")}, "missing.bin", "Cannot find"},
        {{"export", archive, in("nowhere/new.png")}, "new.png", "No such file"},
        {{"import", in("gray.png")}, "usage", "usage"},
    };
    const Snapshot start = Snapshot::of(archive);
    const QStringList files = QDir(m_dir.path()).entryList();
    for (const auto &[arguments, file, says] : cases) {
        const auto [code, error] = run(arguments);
        QVERIFY2(code != 0 && error.contains(file) && error.contains(says), qPrintable(error));
        QVERIFY2(error.count('\n') == 1 || file == QString("usage"), qPrintable(error));
        QVERIFY(Snapshot::of(archive) == start && QDir(m_dir.path()).entryList() == files);
    }
}

QTEST_MAIN(TestTessoraPng)
#include "tst_tessorapng.moc"
