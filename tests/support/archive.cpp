#include "support/archive.h"

#include <QFile>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace fonttable;

namespace testsupport
{

namespace
{

constexpr qint64 ChunkSize = 4096;

int openOrFail(const QString &path, int flags)
{
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC, 0644);
    if (fd < 0)
        qFatal("cannot open %s: %s", qPrintable(path), strerror(errno));
    return fd;
}

void writeAt(int fd, const void *data, qint64 count, qint64 offset)
{
    if (::pwrite(fd, data, size_t(count), off_t(offset)) != count)
        qFatal("cannot write the test archive: %s", strerror(errno));
}

} // namespace

FontTable patternTable()
{
    FontTable table;
    for (int position = 1; position <= TableSize; ++position)
        table.setByte(position, quint8(position * 37 + position / 256));
    return table;
}

void createArchive(const QString &path, const FontTable &table, qint64 size)
{
    const int fd = openOrFail(path, O_WRONLY | O_CREAT | O_EXCL);
    if (::ftruncate(fd, off_t(size)) != 0)
        qFatal("cannot size the test archive: %s", strerror(errno));
    const quint8 marker = 0xA5;
    for (qint64 offset : {qint64(0), TableOffset - 1, TableOffset + TableSize, size - 1})
        if (offset >= 0 && offset < size)
            writeAt(fd, &marker, 1, offset);
    if (size >= MinimumArchiveSize)
        writeAt(fd, table.data(), TableSize, TableOffset);
    ::close(fd);
}

FontTable tableInFile(const QString &path)
{
    FontTable table;
    const int fd = openOrFail(path, O_RDONLY);
    if (::pread(fd, table.data(), TableSize, TableOffset) != TableSize)
        qFatal("cannot read the table back from %s", qPrintable(path));
    ::close(fd);
    return table;
}

Snapshot Snapshot::of(const QString &path)
{
    Snapshot snapshot;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return snapshot;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        snapshot.size = -2;
        ::close(fd);
        return snapshot;
    }
    snapshot.size = info.st_size;
    // Holes read as zeros, so only the data extents need reading.
    for (off_t at = 0;;) {
        const off_t data = ::lseek(fd, at, SEEK_DATA);
        if (data < 0)
            break;
        const off_t hole = ::lseek(fd, data, SEEK_HOLE);
        for (qint64 chunk = data / ChunkSize * ChunkSize; chunk < hole; chunk += ChunkSize) {
            QByteArray bytes(int(std::min(ChunkSize, snapshot.size - chunk)), '\0');
            if (::pread(fd, bytes.data(), size_t(bytes.size()), chunk) != bytes.size())
                qFatal("cannot read %s", qPrintable(path));
            if (bytes.count('\0') != bytes.size())
                snapshot.chunks[chunk] = bytes;
        }
        at = hole;
    }
    ::close(fd);
    return snapshot;
}

Snapshot Snapshot::with(qint64 offset, const QByteArray &bytes) const
{
    Snapshot changed = *this;
    for (qint64 at = offset; at < offset + bytes.size();) {
        const qint64 chunk = at / ChunkSize * ChunkSize;
        QByteArray &content = changed.chunks[chunk];
        if (content.isEmpty())
            content = QByteArray(int(std::min(ChunkSize, size - chunk)), '\0');
        const qint64 end = std::min(chunk + ChunkSize, offset + bytes.size());
        content.replace(int(at - chunk), int(end - at), bytes.constData() + (at - offset),
                        int(end - at));
        if (content.count('\0') == content.size())
            changed.chunks.erase(chunk);
        at = end;
    }
    return changed;
}

} // namespace testsupport
