#pragma once

#include "fonttable/fonttable.h"

#include <QMessageBox>
#include <QTimer>

#include <map>

namespace testsupport
{

// A table of random bytes, or of the pattern byte i = i * 37 + i / 256 when seed is 0.
fonttable::FontTable makeTable(quint32 seed = 0);

// Creates a sparse archive of the given length holding the table at its offset, with non-zero
// marker bytes at the start and end of the file and right before and after the table.
void createArchive(const QByteArray &path, const fonttable::FontTable &table,
                   qint64 size = fonttable::MinimumArchiveSize);

// The whole content of a file, taken cheaply even for a sparse 525 MB archive: its length and
// each 4 KiB chunk that holds a non-zero byte.
struct Snapshot {
    qint64 size = -1; // -1: no such file; -2: not a regular file
    std::map<qint64, QByteArray> chunks;

    static Snapshot of(const QByteArray &path);
    // An archive as createArchive makes it, then resized to the given length, if any.
    static Snapshot archive(const fonttable::FontTable &table,
                            qint64 size = fonttable::MinimumArchiveSize, qint64 resized = -1);
    bool operator==(const Snapshot &) const = default;
};

// Answers every modal message box that opens while it lives: notes its title and text, then
// presses OK.
class MessageCatcher : public QObject
{
public:
    MessageCatcher();
    QStringList texts;
    QStringList titles;
    bool plain = true; // every box had just an OK button, no icon and plain text

private:
    QTimer m_timer;
};

} // namespace testsupport
