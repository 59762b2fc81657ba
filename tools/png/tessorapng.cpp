// tessora-png: the font table out of the archive as a PNG image, and back in. The block already
// is an image, 128 pixels wide and 96 rows high, one gray byte a pixel, so the PNG holds it as
// it lies. Import goes through the same checks and verification as Tessora's Save.

#include "fonttable/resourcefile.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QSaveFile>

#include <cstdio>
#include <cstring>

using namespace fonttable;

namespace
{

constexpr int Width = RowBytes;
constexpr int Height = GlyphRows * GlyphHeight;

const char Usage[] = "usage: tessora-png export ARCHIVE FILE.png\n"
                     "       tessora-png import FILE.png ARCHIVE\n"
                     "\n"
                     "export writes the font table of the game's archive (san11res.bin) as a\n"
                     "128 x 96 grayscale PNG. import writes such a PNG back into the archive in\n"
                     "place: only the font table's 12,288 bytes can change, never the archive's\n"
                     "length. Its pixels must all be gray and opaque.\n";

// One line on standard error, naming the file and the problem.
int fail(const QByteArray &file, const QString &problem)
{
    std::fprintf(stderr, "tessora-png: %s: %s\n", file.constData(),
                 qPrintable(problem.simplified()));
    return 1;
}

// The archive's folder and its name in it, as bytes: a path in any encoding works.
struct ArchivePath {
    Folder folder;
    QByteArray name;

    explicit ArchivePath(const QByteArray &path)
        : folder(path.contains('/') ? path.left(path.lastIndexOf('/') + 1) : QByteArray(".")),
          name(path.mid(path.lastIndexOf('/') + 1))
    {
    }
};

int exportTable(const QByteArray &archivePath, const QByteArray &png)
{
    const ArchivePath archive(archivePath);
    const ReadResult read = readBlock(archive.folder, archive.name);
    if (!read.ok())
        return fail(archivePath, read.error);
    QImage image(Width, Height, QImage::Format_Grayscale8);
    for (int y = 0; y < Height; ++y)
        std::memcpy(image.scanLine(y), read.archive.base.data() + y * Width, Width);

    // Written whole or not at all.
    QSaveFile file(QFile::decodeName(png));
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "png") || !file.commit())
        return fail(png, file.errorString());
    return 0;
}

int importTable(const QByteArray &png, const QByteArray &archivePath)
{
    QFile file(QFile::decodeName(png));
    if (!file.open(QIODevice::ReadOnly))
        return fail(png, file.errorString());
    QImageReader reader(&file, "png");
    // libpng prints its own complaint about a damaged file; the one line below says it all.
    std::fflush(stderr);
    const int savedError = ::dup(2), devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    ::dup2(devNull, 2);
    const QImage read = reader.read();
    ::dup2(savedError, 2);
    ::close(savedError);
    ::close(devNull);
    if (read.isNull())
        return fail(
            png,
            QStringLiteral("not a PNG image, or a damaged one (%1)").arg(reader.errorString()));
    if (read.size() != QSize(Width, Height))
        return fail(png, QStringLiteral("the image is %1 x %2 pixels; the font table is %3 x %4")
                             .arg(QString::number(read.width()), QString::number(read.height()),
                                  QString::number(Width), QString::number(Height)));

    // Checked at 16 bits a channel, so that a 16-bit image's near-grays are not taken for grays.
    const QImage deep = read.convertToFormat(QImage::Format_RGBA64);
    const QImage gray = read.convertToFormat(QImage::Format_Grayscale8);
    FontTable table;
    for (int y = 0; y < Height; ++y) {
        const auto *line = reinterpret_cast<const QRgba64 *>(deep.constScanLine(y));
        for (int x = 0; x < Width; ++x) {
            const QRgba64 pixel = line[x];
            const bool opaque = pixel.alpha() == 0xffff;
            if (!opaque || pixel.red() != pixel.green() || pixel.green() != pixel.blue())
                return fail(png, QStringLiteral("the pixel at (%1, %2) is %3")
                                     .arg(QString::number(x), QString::number(y),
                                          opaque ? "not gray" : "not fully opaque"));
            table.setByte(Width * y + x + 1, gray.constScanLine(y)[x]);
        }
    }

    const ArchivePath archive(archivePath);
    ReadResult current = readBlock(archive.folder, archive.name);
    if (!current.ok())
        return fail(archivePath, current.error);
    const WriteResult written = writeBlock(archive.folder, current.archive, table);
    if (!written.ok())
        return fail(archivePath, written.error);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    const QByteArray command = argc > 1 ? argv[1] : "";
    if (argc == 2 && (command == "--help" || command == "-h")) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (argc == 4 && command == "export")
        return exportTable(argv[2], argv[3]);
    if (argc == 4 && command == "import")
        return importTable(argv[2], argv[3]);
    std::fputs(Usage, stderr);
    return 2;
}
