// tessora-png preview: a text drawn in the font table's glyphs, as the game would show it.

#include "tessorapng/commands.h"

#include "fonttable/textlayout.h"
#include "png/pngfile.h"

using namespace fonttable;

namespace tessorapng
{

namespace
{

// PNG's own limit is far larger, but no viewer shows a line of text a million pixels long.
constexpr qsizetype MaxSide = 1'000'000;

// The font table from a PNG image, told apart by its signature, or from an archive; and the
// file it came from, which the preview must not replace.
QString readSource(const QByteArray &path, FontTable &table, pngfile::Source &source)
{
    const pngfile::Opened opened = pngfile::openForReading(path);
    const bool png = opened.file && pngfile::isPng(opened.file);
    if (png) {
        const QString problem = pngfile::decode(opened.file, table);
        std::fclose(opened.file);
        source = opened.identity;
        source.what = "the font image";
        return problem;
    }
    if (opened.file)
        std::fclose(opened.file);
    const ArchivePath archive(path);
    const ReadResult read = readBlock(archive.folder, archive.name, Access::ReadOnly);
    table = read.archive.base;
    source = {read.archive.device, read.archive.file, "the archive"};
    if (read.failure.what == Failure::NotFound)
        return QStringLiteral("no such file: give the path of a font table PNG or of the game's "
                              "san11res.bin");
    return read.ok() ? QString() : archiveWords(read.failure, false);
}

} // namespace

int preview(const Arguments &arguments)
{
    if (const int status = arguments.expect({"SOURCE", "TEXT", "FILE.png"}))
        return status;
    const QByteArray &from = arguments.operands[0], &png = arguments.operands[2];
    const std::optional<int> scale = number(arguments.options.value("--scale", "1"), 1, 32);
    if (!scale)
        return usage("--scale must be a whole number from 1 to 32");
    if (png.isEmpty())
        return usage("FILE.png is empty: give the name of the PNG file to write");
    const TextLayout text(characters(arguments.operands[1]));
    if (!text.missing.isEmpty()) {
        note(QStringLiteral("%1 in the text is none of the font table's characters (the space "
                            "to ~, and \u2302 for the last glyph): leave it out")
                 .arg(characterName(text.missing.constFirst())));
        return 1;
    }
    if (text.columns == 0)
        return usage("TEXT is empty");
    const qsizetype cellWidth = GlyphWidth * *scale, cellHeight = GlyphHeight * *scale;
    const qsizetype width = text.columns * cellWidth, height = text.lines.size() * cellHeight;
    if (width > MaxSide || height > MaxSide)
        return fail(png, QStringLiteral("the preview would be %1 x %2 pixels, and its sides may be "
                                        "at most %3: give less text or a smaller --scale")
                             .arg(width)
                             .arg(height)
                             .arg(MaxSide));
    if (width * height > 1 << 28)
        return fail(png, QStringLiteral("the preview would be larger than 256 MB: give less text "
                                        "or a smaller --scale"));

    FontTable table;
    pngfile::Source source;
    if (const QString problem = readSource(from, table, source); !problem.isEmpty())
        return fail(from, problem);
    QImage image(int(width), int(height), QImage::Format_Grayscale8);
    drawText({image.bits(), image.bytesPerLine(), *scale}, table, text);
    if (const QString problem = pngfile::write(image, png, source); !problem.isEmpty())
        return fail(png, problem);
    return wrote(arguments.quiet(), png,
                 QStringLiteral("%1 of text in the glyphs of %2, %3 x %4 pixels")
                     .arg(text.lines.size() == 1
                              ? QStringLiteral("a line")
                              : QStringLiteral("%1 lines").arg(text.lines.size()))
                     .arg(QString::fromUtf8(shown(from)))
                     .arg(width)
                     .arg(height));
}

} // namespace tessorapng
