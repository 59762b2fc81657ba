// tessora-png: the font table out of the archive as a PNG image, and back in. The block already
// is an image, 128 pixels wide and 96 rows high, one gray byte a pixel, so the PNG holds it as
// it lies. Import goes through the same checks and verification as Tessora's Save.

#include "fonttable/fontrender.h"
#include "fonttable/resourcefile.h"
#include "png/pngfile.h"

#include <QFontInfo>
#include <QGuiApplication>
#include <QMap>
#include <QMetaEnum>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#ifdef Q_OS_WIN
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <shellapi.h>
#endif

using namespace fonttable;

namespace
{

const char Usage[] =
    "usage: tessora-png export ARCHIVE FILE.png\n"
    "       tessora-png import FILE.png ARCHIVE\n"
    "       tessora-png render FAMILY PIXELSIZE FILE.png [--weight W] [--no-antialias]\n"
    "                          [--offset DX,DY] [--level N]\n"
    "       tessora-png preview SOURCE TEXT FILE.png [--scale N]\n"
    "\n"
    "export writes the font table of the game's archive (san11res.bin) as a\n"
    "128 x 96 grayscale PNG. import writes such a PNG back into the archive in\n"
    "place: only the font table's 12,288 bytes can change, never the archive's\n"
    "length. Its pixels must all be gray and opaque.\n"
    "\n"
    "render draws the characters from the space to ~, and the house sign for the\n"
    "last glyph, with an installed font into such a PNG, light on dark, each\n"
    "centred in its 8 x 16 cell: PIXELSIZE is the font's height in pixels (13\n"
    "suits a cell), --weight a name such as bold or a number from 1 to 1000,\n"
    "--offset moves every character within its cell, --level is the gray of full\n"
    "ink (255, white, by default).\n"
    "\n"
    "preview draws TEXT in the glyphs of SOURCE, an archive or a font table PNG,\n"
    "each character its 8 x 16 cell, each line of TEXT below the last, enlarged\n"
    "N times (1 by default: the pixels are the glyphs' bytes).\n";

int help()
{
    std::fputs(Usage, stdout);
    return 0;
}

int usage(const QByteArray &problem = {})
{
    if (!problem.isEmpty())
        std::fprintf(stderr, "tessora-png: %s\n", problem.constData());
    std::fputs(Usage, stderr);
    return 2;
}

// Arguments arrive as bytes, on Windows taken from the wide command line as UTF-8; what is
// printed goes out in the same encoding.
QString fromArgument(const QByteArray &bytes)
{
#ifdef Q_OS_WIN
    return QString::fromUtf8(bytes);
#else
    return QString::fromLocal8Bit(bytes);
#endif
}

QByteArray toOutput(const QString &text)
{
#ifdef Q_OS_WIN
    return text.toUtf8();
#else
    return text.toLocal8Bit();
#endif
}

// One line on standard error, naming the file and the problem.
int fail(const QByteArray &file, const QString &problem)
{
    std::fprintf(stderr, "tessora-png: %s: %s\n", file.constData(),
                 toOutput(problem.simplified()).constData());
    return 1;
}

QString systemError(int code)
{
    return systemErrorText(code);
}

// What to do about a refusal whose cause the system's words do not tell; empty otherwise.
QString advice(const Failure &f)
{
    switch (f.cause) {
    case Failure::AdminOnly:
        return QStringLiteral("; Windows lets only administrators change files under Program "
                              "Files: run the command as administrator, or keep the game in a "
                              "folder of your own");
    case Failure::ReadOnly:
        return QStringLiteral("; the file is marked read-only: clear its read-only attribute");
    case Failure::DriveGone:
        return QStringLiteral("; the drive or network share that holds it cannot be reached: "
                              "reconnect it");
    default:
        return {};
    }
}

// What went wrong with the archive, for the file named before it; after a failed write, what
// became of the archive.
QString words(const Failure &f, bool writing)
{
    const QString error = systemError(f.error);
    const QString again = QStringLiteral("run the command again");
    QString what;
    switch (f.what) {
    case Failure::None:
        break;
    case Failure::FolderUnavailable:
        what = QStringLiteral("cannot open its folder: %1").arg(error);
        break;
    case Failure::NotFound:
        what = QStringLiteral("no such file: give the path of the game's san11res.bin");
        break;
    case Failure::Spellings:
        what = QStringLiteral("the folder holds the archive under several spellings of its name "
                              "(%1): give the path of the one the game uses")
                   .arg(f.paths.join(", "));
        break;
    case Failure::NotRegular:
        what = f.folder ? QStringLiteral("is a folder, not the game's archive")
                        : QStringLiteral("is a device, a pipe or a socket, not the game's "
                                         "archive");
        break;
    case Failure::NotWritable:
        what = f.cause == Failure::AccessDenied || f.cause == Failure::ReadOnlyMedium
                   ? QStringLiteral("cannot be written (%1): import writes into the archive; "
                                    "make it writable, or run as its owner")
                         .arg(error)
               : f.cause == Failure::AdminOnly || f.cause == Failure::ReadOnly
                   ? QStringLiteral("cannot be written (%1)").arg(error) + advice(f)
                   : QStringLiteral("cannot check whether it can be written: %1").arg(error);
        break;
    case Failure::OpenFailed:
        what = f.cause == Failure::Leased
                   ? QStringLiteral("in use by another program, which holds a lease on it: "
                                    "close that program, then %1")
                         .arg(again)
               : f.cause == Failure::InUse
                   ? QStringLiteral("open in another program that does not share it, perhaps "
                                    "the game itself: close the game or the other program, then "
                                    "%1")
                         .arg(again)
                   : QStringLiteral("cannot open it: %1").arg(error) + advice(f);
        break;
    case Failure::CheckFailed:
        what = QStringLiteral("cannot check it: %1").arg(error);
        break;
    case Failure::TooShort:
        what = QStringLiteral("too short to be the game's archive: it holds %1 bytes, but the "
                              "font table ends at byte %2")
                   .arg(f.size)
                   .arg(f.expected);
        break;
    case Failure::ReadFailed:
    case Failure::WriteFailed:
        what = QStringLiteral("%1 the font table %2")
                   .arg(f.what == Failure::ReadFailed ? "reading" : "writing",
                        f.error ? QStringLiteral("failed: %1").arg(error)
                                : QStringLiteral("stopped after %1 of %2 bytes")
                                      .arg(f.done)
                                      .arg(f.expected));
        break;
    case Failure::BrokenLink:
        what = QStringLiteral("is a link to %1, which is not there: connect or mount the drive "
                              "that holds it")
                   .arg(f.paths.value(0));
        break;
    case Failure::FolderGone:
        what = QStringLiteral("its folder has been deleted or moved: check the path");
        break;
    case Failure::Vanished:
    case Failure::Gone:
    case Failure::Replaced:
    case Failure::Resized:
    case Failure::Changed:
        what = QStringLiteral("another program changed, moved or replaced the archive while "
                              "tessora-png was working on it: %1")
                   .arg(again);
        break;
    case Failure::Locked:
        what = QStringLiteral("in use: another program is writing to its font table (%1); %2 "
                              "once it is done")
                   .arg(error, again);
        break;
    case Failure::NoRoom:
        what = QStringLiteral("no room on its disk for the font table (%1): free some space, then "
                              "%2")
                   .arg(error, again);
        break;
    case Failure::FlushFailed:
        what = QStringLiteral("flushing the font table to the disk failed: %1").arg(error);
        break;
    case Failure::ReadBackFailed:
        what = f.error ? QStringLiteral("reading back the font table failed: %1").arg(error)
                       : QStringLiteral("reading back the font table stopped short");
        break;
    case Failure::ReadBackDiffers:
        what = QStringLiteral("the font table read back differs from what was written");
        break;
    case Failure::LengthChanged:
        what = QStringLiteral("its length changed while the font table was written: another "
                              "program truncated or extended it; check the file, or restore it "
                              "from your backup");
        break;
    case Failure::CloseFailed:
        what = QStringLiteral("closing it failed: %1").arg(error);
        break;
    }
    if (!writing)
        return what;
    switch (f.written) {
    case Failure::Nothing:
        return what + QStringLiteral("; the archive was not changed");
    case Failure::PutBack:
        return what + QStringLiteral("; the bytes written were put back, so the archive is as it "
                                     "was");
    case Failure::Partly:
        break;
    }
    return what + QStringLiteral("; its font table may be incomplete: %1 once the problem is "
                                 "solved")
                      .arg(again);
}

// Where the last folder of a path ends.
qsizetype separator(const QByteArray &path)
{
#ifdef Q_OS_WIN
    return std::max({path.lastIndexOf('/'), path.lastIndexOf('\\'), path.lastIndexOf(':')});
#else
    return path.lastIndexOf('/');
#endif
}

// The archive's folder and its name in it, as bytes: a path in any encoding works.
struct ArchivePath {
    Folder folder;
    QByteArray name;

    explicit ArchivePath(const QByteArray &path)
        : folder(separator(path) >= 0 ? path.left(separator(path) + 1) : QByteArray(".")),
          name(path.mid(separator(path) + 1))
    {
    }
};

int exportTable(const QByteArray &archivePath, const QByteArray &png)
{
    const ArchivePath archive(archivePath);
    const ReadResult read = readBlock(archive.folder, archive.name, Access::ReadOnly);
    if (!read.ok())
        return fail(archivePath, words(read.failure, false));
    if (const QString problem =
            pngfile::write(pngfile::image(read.archive.base), png,
                           {read.archive.device, read.archive.file, "the archive"});
        !problem.isEmpty())
        return fail(png, problem);
    return 0;
}

// The font table in a PNG image, and the image file's identity. Never waits on a pipe or a
// device: only a regular file is read.
QString readPng(const QByteArray &png, FontTable &table, pngfile::Source &identity)
{
    const pngfile::Opened opened = pngfile::openForReading(png);
    identity = opened.identity;
    if (!opened.file)
        return opened.problem;
    const QString problem = pngfile::decode(opened.file, table);
    std::fclose(opened.file);
    return problem;
}

int importTable(const QByteArray &png, const QByteArray &archivePath)
{
    FontTable table;
    pngfile::Source identity;
    if (const QString problem = readPng(png, table, identity); !problem.isEmpty())
        return fail(png, problem);

    const ArchivePath archive(archivePath);
    ReadResult current = readBlock(archive.folder, archive.name);
    if (!current.ok())
        return fail(archivePath, words(current.failure, false));
    int changed = 0;
    for (int i = 1; i <= TableSize; ++i)
        changed += table.byte(i) != current.archive.base.byte(i);
    if (changed == 0) {
        std::printf("%s already holds this font table; nothing was written.\n",
                    archivePath.constData());
        return 0;
    }
    const WriteResult written = writeBlock(archive.folder, current.archive, table);
    if (!written.ok())
        return fail(archivePath, words(written.failure, true));
    std::printf("Wrote the font table into %s: %d of its %d bytes changed.\n",
                archivePath.constData(), changed, TableSize);
    return 0;
}

// A command's operands in order and its options, each "--name value", "--name=value" or, for a
// switch, "--name"; after "--" all are operands, for a text that starts with "--".
struct Arguments {
    QList<QByteArray> operands;
    QMap<QByteArray, QByteArray> options;
    QByteArray problem;
    bool help = false;

    Arguments(int argc, char *argv[], const QList<QByteArray> &valued,
              const QList<QByteArray> &switches)
    {
        bool ended = false;
        for (int i = 2; i < argc; ++i) {
            const QByteArray argument = argv[i];
            const qsizetype equals = argument.indexOf('=');
            const QByteArray name = equals < 0 ? argument : argument.left(equals);
            if (ended || !argument.startsWith("--"))
                operands += argument;
            else if (argument == "--")
                ended = true;
            else if (argument == "--help")
                help = true;
            else if (switches.contains(name) && equals < 0)
                options[name] = {};
            else if (valued.contains(name) && equals >= 0)
                options[name] = argument.mid(equals + 1);
            else if (valued.contains(name) && i + 1 < argc)
                options[name] = argv[++i];
            else
                problem = "unknown option, or an option without its value: " + argument;
        }
    }
};

// A whole number from low to high.
std::optional<int> number(const QByteArray &text, int low, int high)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= low && value <= high ? std::optional(value) : std::nullopt;
}

// A weight as Qt names it (case aside) or as a number.
std::optional<int> weight(const QByteArray &text)
{
    const QMetaEnum names = QMetaEnum::fromType<QFont::Weight>();
    for (int i = 0; i < names.keyCount(); ++i)
        if (text.compare(names.key(i), Qt::CaseInsensitive) == 0)
            return names.value(i);
    return number(text, 1, 1000);
}

// A character as a message names it: spelt out when it would not show.
QString name(char32_t character)
{
    const QString text = QString::fromUcs4(&character, 1);
    const QString code = QStringLiteral("U+%1").arg(uint(character), 4, 16, QChar('0')).toUpper();
    if (character == ' ')
        return QStringLiteral("the space");
    if (!QChar::isPrint(character))
        return code;
    return character < 127 ? text : QStringLiteral("%1 (%2)").arg(text, code);
}

int render(const Arguments &arguments)
{
    if (arguments.operands.size() != 3 || arguments.operands[0].isEmpty())
        return usage();
    const QByteArray &family = arguments.operands[0], &png = arguments.operands[2];
    const std::optional<int> size = number(arguments.operands[1], 1, 64);
    const std::optional<int> level = number(arguments.options.value("--level", "255"), 1, 255);
    const std::optional<int> bold = weight(arguments.options.value("--weight", "normal"));
    const QList<QByteArray> offset = arguments.options.value("--offset", "0,0").split(',');
    const std::optional<int> dx = number(offset.value(0), -16, 16);
    const std::optional<int> dy = number(offset.value(1), -16, 16);
    if (!size)
        return usage("PIXELSIZE must be a whole number from 1 to 64");
    if (!level)
        return usage("--level must be a whole number from 1 to 255");
    if (!bold)
        return usage("--weight must be a number from 1 to 1000, or one of thin, extralight, "
                     "light, normal, medium, demibold, bold, extrabold, black");
    if (offset.size() != 2 || !dx || !dy)
        return usage("--offset must be two whole numbers from -16 to 16, such as 1,-2");

#ifndef Q_OS_WIN // where Windows' own platform draws without a window
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    // Qt's notes on the desktop session, such as a missing XDG_RUNTIME_DIR, would only hide
    // the one line that says what happened; what stops Qt is said.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "tessora-png: %s\n", qPrintable(text.simplified()));
    });
    int argc = 1;
    char program[] = "tessora-png", *argv[] = {program, nullptr};
    const QGuiApplication app(argc, argv);
    QFont font;
    font.setFamilies({fromArgument(family)});
    font.setPixelSize(*size);
    font.setWeight(QFont::Weight(*bold));
    font.setStyleStrategy(arguments.options.contains("--no-antialias") ? QFont::NoAntialias
                                                                       : QFont::PreferAntialias);
    // Qt draws with another font rather than none; that is not the font asked for.
    if (!drawsOwnFamily(font)) {
        const QStringList close = closeFamilies(font.families().front());
        const QString instead =
            QStringLiteral("no font family of this name is installed (Qt would draw %1 instead)")
                .arg(drawnFamily(font));
        return fail(family, close.isEmpty() ? instead + "; fc-list : family lists those that are"
                                            : instead + "; close ones are " + close.join(", "));
    }
    BandLevels levels;
    levels.fill(quint8(*level));
    const FontTable table = renderFont(font, levels, {*dx, *dy});
    if (const QString problem = pngfile::write(pngfile::image(table), png); !problem.isEmpty())
        return fail(png, problem);
    if (const QString missing = missingCharacters(font); !missing.isEmpty()) {
        QStringList names;
        for (const char32_t character : missing.toUcs4())
            names += name(character);
        std::fprintf(stderr, "tessora-png: %s has no %s, so Qt drew %s from another font\n",
                     family.constData(), toOutput(names.join(' ')).constData(),
                     names.size() == 1 ? "it" : "those");
    }
    return 0;
}

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
    return read.ok() ? QString() : words(read.failure, false);
}

int preview(const Arguments &arguments)
{
    if (arguments.operands.size() != 3)
        return usage();
    const QByteArray &from = arguments.operands[0], &png = arguments.operands[2];
    const std::optional<int> scale = number(arguments.options.value("--scale", "1"), 1, 32);
    if (!scale)
        return usage("--scale must be a whole number from 1 to 32");
    QList<QList<int>> lines; // glyphs
    qsizetype longest = 0;
    for (const QString &line : fromArgument(arguments.operands[1]).split('\n')) {
        lines.emplaceBack();
        for (const char32_t character : line.toUcs4()) {
            if (!glyphOf(character)) {
                std::fprintf(stderr,
                             "tessora-png: %s in the text is none of the font table's characters "
                             "(the space to ~, and \u2302 for the last glyph): leave it out\n",
                             toOutput(name(character)).constData());
                return 1;
            }
            lines.back().append(glyphOf(character));
        }
        longest = std::max(longest, lines.back().size());
    }
    if (longest == 0)
        return usage("TEXT is empty");

    FontTable table;
    pngfile::Source source;
    if (const QString problem = readSource(from, table, source); !problem.isEmpty())
        return fail(from, problem);
    const int cellWidth = GlyphWidth * *scale, cellHeight = GlyphHeight * *scale;
    if (longest * cellWidth * lines.size() * cellHeight > 1 << 28)
        return fail(png, QStringLiteral("the preview would be larger than 256 MB: give less text "
                                        "or a smaller --scale"));
    QImage image(int(longest) * cellWidth, int(lines.size()) * cellHeight,
                 QImage::Format_Grayscale8);
    for (int y = 0; y < image.height(); ++y) {
        const QList<int> &line = lines[y / cellHeight];
        for (int x = 0; x < image.width(); ++x) {
            // Short lines end in spaces.
            const int glyph = line.value(x / cellWidth, 1);
            image.scanLine(y)[x] =
                table.byte(glyphFirstByte(glyph) + RowBytes * (y % cellHeight / *scale) +
                           x % cellWidth / *scale);
        }
    }
    if (const QString problem = pngfile::write(image, png, source); !problem.isEmpty())
        return fail(png, problem);
    return 0;
}

} // namespace

int run(int argc, char *argv[])
{
    const QByteArray command = argc > 1 ? argv[1] : "";
    if (argc == 2 && (command == "--help" || command == "-h"))
        return help();
    if (argc == 4 && command == "export")
        return exportTable(argv[2], argv[3]);
    if (argc == 4 && command == "import")
        return importTable(argv[2], argv[3]);
    if (command != "render" && command != "preview")
        return usage();
    const Arguments arguments =
        command == "render"
            ? Arguments(argc, argv, {"--weight", "--offset", "--level"}, {"--no-antialias"})
            : Arguments(argc, argv, {"--scale"}, {});
    if (arguments.help)
        return help();
    if (!arguments.problem.isEmpty())
        return usage(arguments.problem);
    return command == "render" ? render(arguments) : preview(arguments);
}

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
    return run(argc, argv.data());
}
#else
int main(int argc, char *argv[])
{
    return run(argc, argv);
}
#endif
