// tessora-png: the font table out of the archive as a PNG image, and back in. The block already
// is an image, 128 pixels wide and 96 rows high, one gray byte a pixel, so the PNG holds it as
// it lies. Import goes through the same checks and verification as Tessora's Save.

#include "png/pngfile.h"
#include "tessorapng/commands.h"

#include <cstdio>
#include <vector>

#ifdef Q_OS_WIN
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <shellapi.h>
#endif

using namespace fonttable;

namespace tessorapng
{

namespace
{

const char Usage[] =
    "usage: tessora-png export ARCHIVE FILE.png\n"
    "       tessora-png import FILE.png ARCHIVE\n"
    "       tessora-png render FONT SIZE FILE.png [--weight W] [--no-antialias]\n"
    "                          [--offset DX,DY] [--level N]\n"
    "       tessora-png preview SOURCE TEXT FILE.png [--scale N]\n"
    "Each command also takes --quiet, and -- before a TEXT or FILE that begins with --.\n"
    "\n"
    "export writes the font table of the game's archive (san11res.bin) as a\n"
    "128 x 96 grayscale PNG. import writes such a PNG back into the archive in\n"
    "place: only the font table's 12,288 bytes can change, never the archive's\n"
    "length. Its pixels must all be gray and opaque.\n"
    "\n"
    "render draws the characters from the space to ~, and the house sign for the\n"
    "last glyph, into such a PNG, light on dark. FONT is an installed family or a\n"
    "font file: a Linux console font (.psf, .psf.gz), BDF, PCF (.pcf, .pcf.gz),\n"
    "OpenType or TrueType, or a Windows .fon or .fnt. A bitmap font lands pixel\n"
    "for pixel, its cell centred in the 8 x 16 one, and SIZE must be one of its\n"
    "heights in pixels (16 for an 8 x 16 font). An outline font is drawn by Qt,\n"
    "each character centred: SIZE is its height in pixels (13 suits a cell).\n"
    "--weight picks a name such as bold or a number from 1 to 1000, --offset\n"
    "moves every character within its cell, --level is the gray of full ink\n"
    "(255, white, by default).\n"
    "\n"
    "preview draws TEXT in the glyphs of SOURCE, an archive or a font table PNG,\n"
    "each character its 8 x 16 cell, each line of TEXT below the last, enlarged\n"
    "N times (1 by default: the pixels are the glyphs' bytes).\n";

// Where the last folder of a path ends.
qsizetype separator(const QByteArray &path)
{
#ifdef Q_OS_WIN
    return std::max({path.lastIndexOf('/'), path.lastIndexOf('\\'), path.lastIndexOf(':')});
#else
    return path.lastIndexOf('/');
#endif
}

} // namespace

ArchivePath::ArchivePath(const QByteArray &path)
    : folder(separator(path) >= 0 ? path.left(separator(path) + 1) : QByteArray(".")),
      name(path.mid(separator(path) + 1))
{
}

int exportTable(const Arguments &arguments)
{
    if (const int status = arguments.expect({"ARCHIVE", "FILE.png"}))
        return status;
    const QByteArray &archivePath = arguments.operands[0], &png = arguments.operands[1];
    if (png.isEmpty())
        return usage("FILE.png is empty: give the name of the PNG file to write");
    const ArchivePath archive(archivePath);
    const ReadResult read = readBlock(archive.folder, archive.name, Access::ReadOnly);
    if (!read.ok())
        return fail(archivePath, archiveWords(read.failure, false));
    if (const QString problem =
            pngfile::write(pngfile::image(read.archive.base), png,
                           {read.archive.device, read.archive.file, "the archive"});
        !problem.isEmpty())
        return fail(png, problem);
    return wrote(arguments.quiet(), png,
                 QStringLiteral("the font table of %1").arg(QString::fromUtf8(shown(archivePath))));
}

int importTable(const Arguments &arguments)
{
    if (const int status = arguments.expect({"FILE.png", "ARCHIVE"}))
        return status;
    const QByteArray &png = arguments.operands[0], &archivePath = arguments.operands[1];
    FontTable table;
    const pngfile::Opened opened = pngfile::openForReading(png);
    if (!opened.file)
        return fail(png, opened.problem);
    const QString problem = pngfile::decode(opened.file, table);
    std::fclose(opened.file);
    if (!problem.isEmpty())
        return fail(png, problem);

    const ArchivePath archive(archivePath);
    ReadResult current = readBlock(archive.folder, archive.name);
    if (!current.ok())
        return fail(archivePath, archiveWords(current.failure, false));
    int changed = 0;
    for (int i = 1; i <= TableSize; ++i)
        changed += table.byte(i) != current.archive.base.byte(i);
    if (changed == 0) {
        if (!arguments.quiet())
            std::printf("%s already holds this font table; nothing was written.\n",
                        shown(archivePath).constData());
        return 0;
    }
    const WriteResult written = writeBlock(archive.folder, current.archive, table);
    if (!written.ok())
        return fail(archivePath, archiveWords(written.failure, true));
    return wrote(
        arguments.quiet(), archivePath,
        QStringLiteral("the font table, %1 of its %2 bytes changed").arg(changed).arg(TableSize));
}

int run(int argc, char *argv[])
{
    const QByteArray command = argc > 1 ? argv[1] : "";
    if (command == "--help" || command == "-h") {
        std::fputs(Usage, stdout);
        return 0;
    }
    const Arguments arguments =
        command == "render"
            ? Arguments(argc, argv, {"--weight", "--offset", "--level"}, {"--no-antialias"})
        : command == "preview" ? Arguments(argc, argv, {"--scale"}, {})
                               : Arguments(argc, argv, {}, {});
    if (arguments.help) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (command.isEmpty())
        return usage("no command given: export, import, render or preview");
    if (!arguments.problem.isEmpty())
        return usage(arguments.problem);
    if (command == "export")
        return exportTable(arguments);
    if (command == "import")
        return importTable(arguments);
    if (command == "render")
        return render(arguments);
    if (command == "preview")
        return preview(arguments);
    return usage(command + " is no command: export, import, render or preview");
}

} // namespace tessorapng

#ifdef Q_OS_WIN
int main()
{
    int argc = 0;
    wchar_t **wide = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    std::vector<QByteArray> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.push_back(QString::fromWCharArray(wide[i]).toUtf8());
    ::LocalFree(wide);
    std::vector<char *> argv;
    for (QByteArray &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    ::SetConsoleOutputCP(CP_UTF8);
    return tessorapng::run(argc, argv.data());
}
#else
int main(int argc, char *argv[])
{
    return tessorapng::run(argc, argv);
}
#endif
