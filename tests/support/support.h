#pragma once

#include "fonttable/fonttable.h"

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <map>
#include <set>

#ifdef Q_OS_WIN
#define WIN32_LEAN_AND_MEAN
#include <io.h>
#include <windows.h>
#include <winioctl.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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

// A file opened with plain file calls by its path as bytes (on Windows UTF-8), read and written
// through QFile.
struct PlainFile : QFile {
    explicit PlainFile(const QByteArray &path, bool create = false)
    {
#ifdef Q_OS_WIN
        setFileName(QString::fromUtf8(path));
        if (!open(create ? WriteOnly | NewOnly : ReadWrite | ExistingOnly) && !create)
            open(ReadOnly);
        // Sparse, as on Linux: the 500 MB before the table take no room on the disk.
        DWORD returned = 0;
        ::DeviceIoControl(reinterpret_cast<HANDLE>(_get_osfhandle(handle())), FSCTL_SET_SPARSE,
                          nullptr, 0, nullptr, 0, &returned, nullptr);
#else
        const int writable = create ? ::open(path, O_RDWR | O_CREAT | O_EXCL, 0644)
                                    : ::open(path, O_RDWR | O_NONBLOCK);
        const int fd = writable >= 0 || create ? writable : ::open(path, O_RDONLY | O_NONBLOCK);
        if (fd >= 0)
            open(fd, writable >= 0 ? ReadWrite : ReadOnly, AutoCloseHandle);
#endif
    }
    bool writeAt(qint64 at, const void *bytes, qint64 count)
    {
        return seek(at) && write(static_cast<const char *>(bytes), count) == count && flush();
    }
    // -1: not there; -2: not a regular file
    qint64 length()
    {
#ifndef Q_OS_WIN
        struct stat info;
        if (isOpen() && (::fstat(handle(), &info) != 0 || !S_ISREG(info.st_mode)))
            return -2;
#endif
        return isOpen() ? size() : -1;
    }
};

// A sparse archive of the given length holding the table at its offset, with non-zero markers at
// the start and end of the file and right before and after the table.
inline void createArchive(const QByteArray &path, const FontTable &table,
                          qint64 size = MinimumArchiveSize)
{
    PlainFile file(path, true);
    bool ok = file.resize(size);
    for (qint64 at : {qint64(0), TableOffset - 1, MinimumArchiveSize, size - 1})
        ok = ok && (at < 0 || at >= size || file.writeAt(at, "\xa5", 1));
    if (size >= MinimumArchiveSize)
        ok = ok && file.writeAt(TableOffset, table.data(), TableSize);
    if (!ok)
        qFatal("cannot create the test archive %s", path.constData());
}

inline QByteArray readAt(const QByteArray &path, qint64 offset, qint64 count)
{
    PlainFile file(path);
    return file.seek(offset) ? file.read(count) : QByteArray();
}
inline bool writeAt(const QByteArray &path, qint64 offset, const QByteArray &bytes)
{
    return PlainFile(path).writeAt(offset, bytes.constData(), bytes.size());
}

// The whole content of a file, taken cheaply even for a sparse 525 MB archive: its length (-1: no
// such file, -2: not a regular file) and each 4 KiB chunk that holds a non-zero byte. On Windows,
// which has no cheap way to find a file's data, the chunks where createArchive puts data and
// those around the table.
struct Snapshot {
    qint64 size = -1;
    std::map<qint64, QByteArray> chunks;
    bool operator==(const Snapshot &) const = default;

    static Snapshot of(const QByteArray &path)
    {
        Snapshot shot;
        PlainFile file(path);
        shot.size = file.length();
        auto take = [&](qint64 at) {
            const QByteArray bytes = file.seek(at) ? file.read(4096) : QByteArray();
            if (bytes.size() != std::min<qint64>(4096, shot.size - at))
                qFatal("cannot read %s", path.constData());
            if (bytes.count('\0') != bytes.size())
                shot.chunks[at] = bytes;
        };
#ifdef Q_OS_WIN
        std::set<qint64> at = {0, shot.size - 1};
        for (qint64 p = TableOffset - 8192; p < MinimumArchiveSize + 8192; p += 4096)
            at.insert(p);
        for (qint64 p : at)
            if (p >= 0 && p < shot.size)
                take(p / 4096 * 4096);
#else
        // Holes read as zeros, so only the data extents need reading.
        for (off_t at = 0; shot.size > 0 && (at = ::lseek(file.handle(), at, SEEK_DATA)) >= 0;) {
            const off_t hole = ::lseek(file.handle(), at, SEEK_HOLE);
            for (at = at / 4096 * 4096; at < hole; at += 4096)
                take(at);
        }
#endif
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
