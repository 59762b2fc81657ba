#include "support/support.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace fonttable;
using testsupport::Snapshot;

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

    QTemporaryDir m_dir;
    QString in(const char *name) const { return m_dir.filePath(name); }
};

void TestTessoraPng::roundTrips()
{
    const FontTable table = testsupport::makeTable();
    const QByteArray archive = QFile::encodeName(in(ResourceName));
    testsupport::createArchive(archive, table);
    const Snapshot start = Snapshot::of(archive);
    QCOMPARE(run({"export", archive, in("font.png")}).first, 0);
    const QImage exported(in("font.png"));
    QCOMPARE(exported.format(), QImage::Format_Grayscale8);
    QCOMPARE(exported.size(), QSize(128, 96));
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 128; ++x)
            QCOMPARE(qGray(exported.pixel(x, y)), int(table.byte(128 * y + x + 1)));
    QCOMPARE(run({"import", in("font.png"), archive}), std::make_pair(0, QString()));
    QVERIFY(Snapshot::of(archive) == start);

    // As image editors save it: RGB, a palette, 16 bits.
    for (QImage::Format format :
         {QImage::Format_RGB32, QImage::Format_Indexed8, QImage::Format_Grayscale16}) {
        QImage edited = exported.convertToFormat(QImage::Format_RGB32);
        edited.setPixel(5, 7, qRgb(200, 200, 200));
        QVERIFY(edited.convertToFormat(format).save(in("edited.png")));
        QCOMPARE(run({"import", in("edited.png"), archive}).first, 0);
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
    testsupport::createArchive(archive, testsupport::makeTable());
    QImage gray(128, 96, QImage::Format_ARGB32);
    gray.fill(qRgb(90, 90, 90));
    QVERIFY(gray.save(in("gray.png")));
    QImage image = gray.copy(0, 0, 130, 96);
    QVERIFY(image.save(in("wide.png")));
    image = gray;
    image.setPixel(3, 4, qRgb(90, 91, 90));
    QVERIFY(image.save(in("coloured.png")));
    image.setPixel(3, 4, qRgba(90, 90, 90, 254));
    QVERIFY(image.save(in("transparent.png")));
    QFile text(in("text.png")), damaged(in("damaged.png")), whole(in("gray.png"));
    QVERIFY(text.open(QIODevice::WriteOnly) && text.write("not an image") > 0);
    QVERIFY(whole.open(QIODevice::ReadOnly) && damaged.open(QIODevice::WriteOnly));
    damaged.write(whole.read(whole.size() / 2));
    damaged.close();
    testsupport::createArchive(QFile::encodeName(in("short.bin")), {}, MinimumArchiveSize - 1);

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
    for (const auto &c : cases) {
        const auto [code, error] = run(c.arguments);
        QVERIFY2(code != 0 && error.contains(c.file) && error.contains(c.says), qPrintable(error));
        QVERIFY2(error.count('\n') == 1 || c.file == QString("usage"), qPrintable(error));
        QVERIFY(Snapshot::of(archive) == start);
        QCOMPARE(QDir(m_dir.path()).entryList(), files);
    }
}

QTEST_MAIN(TestTessoraPng)
#include "tst_tessorapng.moc"
