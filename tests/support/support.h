#pragma once

#include "fonttable/fonttable.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport
{
using namespace fonttable;

// A table of random bytes, or of the pattern byte i = i * 37 + i / 256 when seed is 0.
inline FontTable makeTable(quint32 seed = 0)
{
    FontTable table;
    QRandomGenerator random(seed);
    for (int i = 1; i <= TableSize; ++i)
        table.setByte(i, seed ? quint8(random.bounded(256)) : quint8(i * 37 + i / 256));
    return table;
}

// A sparse archive of the given length holding the table at its offset, with non-zero markers at
// the start and end of the file and right before and after the table.
inline void createArchive(const QByteArray &path, const FontTable &table,
                          qint64 size = MinimumArchiveSize)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    bool ok = fd >= 0 && ::ftruncate(fd, off_t(size)) == 0;
    for (qint64 at : {qint64(0), TableOffset - 1, MinimumArchiveSize, size - 1})
        ok = ok && (at < 0 || at >= size || ::pwrite(fd, "\xa5", 1, at) == 1);
    if (size >= MinimumArchiveSize)
        ok = ok && ::pwrite(fd, table.data(), TableSize, TableOffset) == TableSize;
    if (fd < 0 || ::close(fd) != 0 || !ok)
        qFatal("cannot create the test archive %s", path.constData());
}

// The whole content of a file, taken cheaply even for a sparse 525 MB archive: its length (-1: no
// such file, -2: not a regular file) and each 4 KiB chunk that holds a non-zero byte.
struct Snapshot {
    qint64 size = -1;
    std::map<qint64, QByteArray> chunks;
    bool operator==(const Snapshot &) const = default;

    static Snapshot of(const QByteArray &path)
    {
        Snapshot shot;
        struct stat info;
        const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK);
        if (fd >= 0)
            shot.size = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) ? info.st_size : -2;
        // Holes read as zeros, so only the data extents need reading.
        for (off_t at = 0; shot.size > 0 && (at = ::lseek(fd, at, SEEK_DATA)) >= 0;) {
            const off_t hole = ::lseek(fd, at, SEEK_HOLE);
            for (at = at / 4096 * 4096; at < hole; at += 4096) {
                QByteArray bytes(int(std::min<qint64>(4096, shot.size - at)), '\0');
                if (::pread(fd, bytes.data(), size_t(bytes.size()), at) != bytes.size())
                    qFatal("cannot read %s", path.constData());
                if (bytes.count('\0') != bytes.size())
                    shot.chunks[at] = bytes;
            }
        }
        ::close(fd);
        return shot;
    }
    // An archive as createArchive makes it.
    static Snapshot archive(const FontTable &table, qint64 size = MinimumArchiveSize)
    {
        const QTemporaryDir dir;
        const QByteArray path = QFile::encodeName(dir.filePath("model"));
        createArchive(path, table, size);
        return of(path);
    }
};

} // namespace testsupport
