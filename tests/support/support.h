#pragma once

#include "fonttable/fonttable.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <QFile>
#include <QFileInfo>

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

// A file opened with plain file calls, by its path as bytes (on Windows UTF-8).
class PlainFile
{
public:
    PlainFile(const QByteArray &path, bool create = false)
    {
#ifdef Q_OS_WIN
        m_file.setFileName(QString::fromUtf8(path));
        m_open = m_file.open(create ? QIODevice::WriteOnly | QIODevice::NewOnly
                                    : QIODevice::ReadWrite | QIODevice::ExistingOnly);
        if (!m_open && !create)
            m_open = m_file.open(QIODevice::ReadOnly);
#else
        m_fd = create ? ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL, 0644)
                      : ::open(path.constData(), O_RDWR | O_NONBLOCK);
        if (m_fd < 0 && !create)
            m_fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK);
        m_open = m_fd >= 0;
#endif
    }
    ~PlainFile()
    {
#ifndef Q_OS_WIN
        if (m_fd >= 0)
            ::close(m_fd);
#endif
    }
    bool isOpen() const
    {
        return m_open;
    }
    bool resize(qint64 size)
    {
#ifdef Q_OS_WIN
        // Sparse, as on Linux: the 500 MB before the table take no room on the disk.
        DWORD returned = 0;
        ::DeviceIoControl(reinterpret_cast<HANDLE>(_get_osfhandle(m_file.handle())),
                          FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
        return m_open && m_file.resize(size);
#else
        return m_open && ::ftruncate(m_fd, off_t(size)) == 0;
#endif
    }
    bool write(qint64 at, const void *bytes, qint64 count)
    {
#ifdef Q_OS_WIN
        return m_open && m_file.seek(at) &&
               m_file.write(static_cast<const char *>(bytes), count) == count && m_file.flush();
#else
        return m_open && ::pwrite(m_fd, bytes, size_t(count), off_t(at)) == count;
#endif
    }
    qint64 read(qint64 at, void *bytes, qint64 count)
    {
#ifdef Q_OS_WIN
        return m_open && m_file.seek(at) ? m_file.read(static_cast<char *>(bytes), count) : -1;
#else
        return m_open ? ::pread(m_fd, bytes, size_t(count), off_t(at)) : -1;
#endif
    }
    // -1: not there; -2: not a regular file
    qint64 size()
    {
#ifdef Q_OS_WIN
        return m_open ? m_file.size() : -1;
#else
        struct stat info;
        return !m_open                                              ? -1
               : ::fstat(m_fd, &info) == 0 && S_ISREG(info.st_mode) ? info.st_size
                                                                    : -2;
#endif
    }
#ifndef Q_OS_WIN
    int fd() const
    {
        return m_fd;
    }
#endif

private:
#ifdef Q_OS_WIN
    QFile m_file;
#else
    int m_fd = -1;
#endif
    bool m_open = false;
};

// A sparse archive of the given length holding the table at its offset, with non-zero markers at
// the start and end of the file and right before and after the table.
inline void createArchive(const QByteArray &path, const FontTable &table,
                          qint64 size = MinimumArchiveSize)
{
    PlainFile file(path, true);
    bool ok = file.resize(size);
    for (qint64 at : {qint64(0), TableOffset - 1, MinimumArchiveSize, size - 1})
        ok = ok && (at < 0 || at >= size || file.write(at, "\xa5", 1));
    if (size >= MinimumArchiveSize)
        ok = ok && file.write(TableOffset, table.data(), TableSize);
    if (!ok)
        qFatal("cannot create the test archive %s", path.constData());
}

inline QByteArray readAt(const QByteArray &path, qint64 offset, qint64 count)
{
    QByteArray bytes(int(count), '\0');
    const qint64 n = PlainFile(path).read(offset, bytes.data(), count);
    return bytes.left(int(std::max<qint64>(n, 0)));
}
inline bool writeAt(const QByteArray &path, qint64 offset, const QByteArray &bytes)
{
    return PlainFile(path).write(offset, bytes.constData(), bytes.size());
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
        shot.size = file.size();
        auto take = [&](qint64 at) {
            QByteArray bytes(int(std::min<qint64>(4096, shot.size - at)), '\0');
            if (file.read(at, bytes.data(), bytes.size()) != bytes.size())
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
        for (off_t at = 0; shot.size > 0 && (at = ::lseek(file.fd(), at, SEEK_DATA)) >= 0;) {
            const off_t hole = ::lseek(file.fd(), at, SEEK_HOLE);
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
