#include "png/commandline.h"

#include <cstdio>

using namespace fonttable;

namespace tessorapng
{

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

QByteArray shown(const QByteArray &name)
{
    QByteArray text;
    for (const char c : name) {
        if (c == '\n')
            text += "\\n";
        else if (c == '\t')
            text += "\\t";
        else if (uchar(c) < 0x20 || c == 0x7f)
            text += "\\x" + QByteArray::number(uchar(c), 16).rightJustified(2, '0');
        else
            text += c;
    }
    return text;
}

int usage(const QByteArray &problem)
{
    std::fprintf(stderr, "tessora-png: %s; tessora-png --help shows the usage\n",
                 shown(problem).constData());
    return 2;
}

int fail(const QByteArray &file, const QString &problem)
{
    std::fprintf(stderr, "tessora-png: %s: %s\n", shown(file).constData(),
                 shown(toOutput(problem)).constData());
    return 1;
}

void note(const QString &text)
{
    std::fprintf(stderr, "tessora-png: %s\n", shown(toOutput(text)).constData());
}

int wrote(bool quiet, const QByteArray &file, const QString &what)
{
    if (!quiet)
        std::printf("wrote %s: %s\n", shown(file).constData(), shown(toOutput(what)).constData());
    return 0;
}

namespace
{

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
QString archiveWordsFor(const Failure &f, bool writing)
{
    const QString error = systemErrorText(f.error);
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

} // namespace

QString archiveWords(const Failure &f, bool writing)
{
    return archiveWordsFor(f, writing);
}

Arguments::Arguments(int argc, char *argv[], const QList<QByteArray> &valued,
                     const QList<QByteArray> &switches)
    : command(argc > 1 ? argv[1] : "")
{
    bool ended = false;
    for (int i = 2; i < argc; ++i) {
        const QByteArray argument = argv[i];
        const qsizetype equals = argument.indexOf('=');
        const QByteArray name = equals < 0 ? argument : argument.left(equals);
        if (ended || !argument.startsWith("--")) {
            operands += argument;
        } else if (argument == "--") {
            ended = true;
        } else if (argument == "--help") {
            help = true;
        } else if ((switches.contains(name) || name == "--quiet") && equals < 0) {
            options[name] = {};
        } else if (valued.contains(name) && equals >= 0) {
            options[name] = argument.mid(equals + 1);
        } else if (valued.contains(name) && i + 1 < argc) {
            options[name] = argv[++i];
        } else if (valued.contains(name)) {
            problem = argument + " needs a value, such as " + argument + "=2";
        } else {
            operands += argument;
            unknown += argument;
        }
    }
}

int Arguments::expect(const QList<QByteArray> &names) const
{
    if (operands.size() == names.size())
        return 0;
    if (operands.size() > names.size() && !unknown.isEmpty())
        return usage(unknown.front() + " is not an option of " + command +
                     "; a TEXT or FILE that begins with -- goes after --");
    QByteArray given;
    for (const QByteArray &operand : operands)
        given += (given.isEmpty() ? "" : ", ") + operand;
    return usage(command + " needs " + names.join(' ') + ", but was given " +
                 (operands.isEmpty() ? QByteArray("none of them") : given));
}

std::optional<int> number(const QByteArray &text, int low, int high)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= low && value <= high ? std::optional(value) : std::nullopt;
}

QList<char32_t> characters(const QByteArray &text)
{
    QList<char32_t> list;
    for (qsizetype i = 0; i < text.size();) {
        const uchar lead = uchar(text[i]);
        const int length = lead < 0x80       ? 1
                           : lead >> 5 == 6  ? 2
                           : lead >> 4 == 14 ? 3
                           : lead >> 3 == 30 ? 4
                                             : 0;
        char32_t code = length == 1 ? lead : lead & (0x7f >> length);
        bool whole = length > 0 && i + length <= text.size();
        for (int k = 1; whole && k < length; ++k) {
            whole = (uchar(text[i + k]) & 0xc0) == 0x80;
            code = code << 6 | (uchar(text[i + k]) & 0x3f);
        }
        // Overlong forms, surrogates and code points beyond Unicode are no characters either.
        static constexpr char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (whole && code >= least[length] && code <= 0x10ffff &&
            (code < 0xd800 || code > 0xdfff)) {
            list += code;
            i += length;
        } else {
            list += NotUtf8 + lead;
            ++i;
        }
    }
    return list;
}

QString characterName(char32_t character)
{
    if (character >= NotUtf8)
        return QStringLiteral("\\x%1 (a byte that is not UTF-8)")
            .arg(uint(character - NotUtf8), 2, 16, QChar('0'));
    const QString text = QString::fromUcs4(&character, 1);
    const QString code = QStringLiteral("U+%1").arg(uint(character), 4, 16, QChar('0')).toUpper();
    if (character == ' ')
        return QStringLiteral("the space");
    if (!QChar::isPrint(character))
        return code;
    return character < 127 ? text : QStringLiteral("%1 (%2)").arg(text, code);
}

} // namespace tessorapng
