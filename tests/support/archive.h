#pragma once

#include "fonttable/fonttable.h"

#include <QByteArray>
#include <QString>

#include <map>

namespace testsupport
{

// A table whose every byte differs from its neighbours', so a byte read or drawn from the wrong
// place shows.
fonttable::FontTable patternTable();

// Creates a sparse archive of the given length holding the table at its offset, with non-zero
// marker bytes at the very start and end of the file and right before and after the table.
void createArchive(const QString &path, const fonttable::FontTable &table,
                   qint64 size = fonttable::MinimumArchiveSize);

// The table as it lies in the file, read without the program's own code.
fonttable::FontTable tableInFile(const QString &path);

// The whole content of a file, taken cheaply even for a sparse 525 MB archive: its length and
// each 4 KiB chunk that holds a non-zero byte.
struct Snapshot {
    qint64 size = -1; // -1: no such file; -2: not a regular file
    std::map<qint64, QByteArray> chunks;

    static Snapshot of(const QString &path);
    // This content with bytes changed from the offset on.
    Snapshot with(qint64 offset, const QByteArray &bytes) const;
    Snapshot with(qint64 offset, quint8 value) const
    {
        return with(offset, QByteArray(1, char(value)));
    }

    bool operator==(const Snapshot &) const = default;
};

} // namespace testsupport
