#pragma once

// What tessora-png's commands share: their arguments, and the one line that tells how each ended.

#include "fonttable/resourcefile.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

namespace tessorapng
{

// Arguments arrive as bytes, on Windows taken from the wide command line as UTF-8; what is
// printed goes out in the same encoding.
QString fromArgument(const QByteArray &bytes);
QByteArray toOutput(const QString &text);

// A name as a message shows it: control characters escaped, so that every message is one line.
QByteArray shown(const QByteArray &name);

// A usage error: one line saying what is wrong and where the usage is; returns status 2.
int usage(const QByteArray &problem);

// A failure: one line on standard error naming the file and the problem; returns status 1.
int fail(const QByteArray &file, const QString &problem);

// A note beside the work done, such as the characters a font lacks: one line on standard error.
void note(const QString &text);

// Success: one line on standard output saying what was written, unless quiet; returns status 0.
int wrote(bool quiet, const QByteArray &file, const QString &what);

// What went wrong with the archive, for the file named before it; after a failed write, also
// what became of the archive.
QString archiveWords(const fonttable::Failure &f, bool writing);

// A command's operands in order and its options, each "--name value", "--name=value" or, for a
// switch, "--name". An argument that starts with "--" but is none of the command's options is an
// operand, such as a TEXT of "--x"; after "--" all are operands.
struct Arguments {
    QByteArray command;
    QList<QByteArray> operands;
    QMap<QByteArray, QByteArray> options;
    QList<QByteArray> unknown; // the operands that look like options
    bool help = false;
    QByteArray problem;

    Arguments(int argc, char *argv[], const QList<QByteArray> &valued,
              const QList<QByteArray> &switches);

    bool quiet() const { return options.contains("--quiet"); }
    // Status 2 and the reason, unless there are exactly the operands named, such as
    // {"ARCHIVE", "FILE.png"}; then 0.
    int expect(const QList<QByteArray> &names) const;
};

// A whole number from low to high.
std::optional<int> number(const QByteArray &text, int low, int high);

// TEXT as characters: UTF-8, any byte that is not part of a character standing for itself as
// NotUtf8 + byte, which no character is.
inline constexpr char32_t NotUtf8 = 0x110000;
QList<char32_t> characters(const QByteArray &text);

// A character as a message names it: spelt out when it would not show, and a byte that was no
// character as \xff.
QString characterName(char32_t character);

} // namespace tessorapng
