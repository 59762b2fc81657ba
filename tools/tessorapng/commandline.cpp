#include "tessorapng/commandline.h"

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
    // Control characters, those of C1 among them, and bytes that are not UTF-8, each as \xNN.
    QByteArray text;
    qsizetype at = 0;
    for (const char32_t character : characters(name)) {
        const qsizetype length = character >= NotUtf8  ? 1
                                 : character < 0x80    ? 1
                                 : character < 0x800   ? 2
                                 : character < 0x10000 ? 3
                                                       : 4;
        const QByteArray bytes = name.mid(at, length);
        at += length;
        if (character == '\n')
            text += "\\n";
        else if (character == '\t')
            text += "\\t";
        else if (character < 0x20 || (character >= 0x7f && character < 0xa0) ||
                 character >= NotUtf8)
            for (const char c : bytes)
                text += "\\x" + QByteArray::number(uchar(c), 16).rightJustified(2, '0');
        else
            text += bytes;
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
            problem = argument + " needs a value after it";
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
