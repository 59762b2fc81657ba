#include "fonttable/resourcefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>

namespace fonttable
{

namespace
{

QString tr(const char *text)
{
    return QCoreApplication::translate("ResourceFile", text);
}

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

QString nothingSaved()
{
    return tr("\n\nNothing was saved; your edits are kept.");
}

QString maybeIncomplete()
{
    return tr("\n\nThe font table in the file may be incomplete. Your edits are kept: choose Save "
              "again once the problem is solved.");
}

// Closes the descriptor on every early return; the success paths close it themselves to see
// the result.
class Descriptor
{
public:
    Descriptor(const FileCalls &calls, int fd) : m_calls(calls), m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            m_calls.close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    int release() { return std::exchange(m_fd, -1); }

private:
    const FileCalls &m_calls;
    int m_fd;
};

// Returns the descriptor, or minus the errno of the failed open.
int openExisting(const QString &path, const FileCalls &calls)
{
    // No O_CREAT: a missing archive is an error, never a new empty file.
    int fd;
    do {
        fd = calls.open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd < 0 ? -errno : fd;
}

// Returns 0, or the errno of the failed flush.
int flush(int fd, const FileCalls &calls)
{
    int result;
    do {
        result = calls.fdatasync(fd);
    } while (result != 0 && errno == EINTR);
    return result == 0 ? 0 : errno;
}

struct Transfer {
    qint64 done = 0;
    int error = 0; // errno of the failed call, or 0 when the call moved no bytes
};

// Reads or writes the whole block, going on after interruptions and partial transfers.
template <typename Call, typename Buffer>
Transfer transferBlock(const Call &call, int fd, Buffer *buffer)
{
    Transfer t;
    while (t.done < TableSize) {
        const ssize_t n =
            call(fd, buffer + t.done, size_t(TableSize - t.done), off_t(TableOffset + t.done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            t.error = errno;
        if (n <= 0)
            break;
        t.done += n;
    }
    return t;
}

QString transferError(const char *failed, const char *stopped, const QString &path,
                      const Transfer &t)
{
    if (t.error != 0)
        return tr(failed).arg(path, systemError(t.error));
    return tr(stopped).arg(path).arg(t.done).arg(TableSize);
}

} // namespace

QString resourcePath(const QString &programDir)
{
    const QDir dir(programDir);
    const QString exact = dir.filePath(QLatin1String(ResourceName));
    if (QFileInfo::exists(exact))
        return exact;
    // Name filters ignore case unless told otherwise.
    const QStringList others = dir.entryList({QLatin1String(ResourceName)}, QDir::Files);
    return others.size() == 1 ? dir.filePath(others.front()) : exact;
}

ReadResult readBlock(const QString &path, const FileCalls &calls)
{
    ReadResult result;
    const int fd = openExisting(path, calls);
    if (fd < 0) {
        if (fd == -ENOENT)
            result.error = tr("Cannot find %1.\n\nCopy Tessora into the folder that holds the "
                              "game's san11res.bin, then choose Read again.")
                               .arg(path);
        else if (fd == -EISDIR)
            result.error = tr("%1 is a folder, not the game's resource file.").arg(path);
        else
            result.error = tr("Cannot open %1 for reading and writing: %2.\n\nTessora needs to "
                              "write to the file to save your edits.")
                               .arg(path, systemError(-fd));
        return result;
    }
    Descriptor file(calls, fd);

    struct stat info;
    if (calls.fstat(fd, &info) != 0) {
        const int error = errno;
        result.error = tr("Cannot check %1: %2.").arg(path, systemError(error));
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        result.error =
            tr("%1 is not a regular file, so it is not the game's resource file.").arg(path);
        return result;
    }
    if (info.st_size < MinimumArchiveSize) {
        result.error = tr("%1 is too short to be the game's resource file: it holds %2 bytes, but "
                          "the font table ends at byte %3.")
                           .arg(path)
                           .arg(qint64(info.st_size))
                           .arg(MinimumArchiveSize);
        return result;
    }

    const Transfer read = transferBlock(calls.pread, fd, result.table.data());
    if (read.done < TableSize) {
        result.error = transferError("Reading the font table from %1 failed: %2.",
                                     "Reading the font table from %1 stopped after %2 of %3 bytes.",
                                     path, read);
        return result;
    }
    result.archiveSize = info.st_size;
    return result;
}

WriteResult writeBlock(const QString &path, const FontTable &table, qint64 expectedSize,
                       const FileCalls &calls)
{
    WriteResult result;
    const int fd = openExisting(path, calls);
    if (fd < 0) {
        if (fd == -ENOENT)
            result.error = tr("Cannot find %1 any more.").arg(path) + nothingSaved();
        else
            result.error =
                tr("Cannot open %1 for writing: %2.").arg(path, systemError(-fd)) + nothingSaved();
        return result;
    }
    Descriptor file(calls, fd);

    struct stat info;
    if (calls.fstat(fd, &info) != 0) {
        const int error = errno;
        result.error = tr("Cannot check %1: %2.").arg(path, systemError(error)) + nothingSaved();
        return result;
    }
    if (!S_ISREG(info.st_mode) || info.st_size != expectedSize) {
        result.error = tr("%1 has changed since the font table was read from it: it now holds %2 "
                          "bytes instead of %3, so the font table may lie elsewhere in it. Choose "
                          "Read to load the font table again.")
                           .arg(path)
                           .arg(qint64(info.st_size))
                           .arg(expectedSize) +
                       nothingSaved();
        return result;
    }

    const Transfer written = transferBlock(calls.pwrite, fd, table.data());
    if (written.done < TableSize) {
        result.error = transferError("Writing the font table to %1 failed: %2.",
                                     "Writing the font table to %1 stopped after %2 of %3 bytes.",
                                     path, written) +
                       (written.done == 0 ? nothingSaved() : maybeIncomplete());
        return result;
    }

    if (const int error = flush(fd, calls)) {
        result.error = tr("Flushing the font table to the disk holding %1 failed: %2.")
                           .arg(path, systemError(error)) +
                       maybeIncomplete();
        return result;
    }

    FontTable readBack;
    const Transfer read = transferBlock(calls.pread, fd, readBack.data());
    if (read.done < TableSize) {
        result.error =
            transferError("Reading back the font table from %1 failed: %2.",
                          "Reading back the font table from %1 stopped after %2 of %3 bytes.", path,
                          read) +
            maybeIncomplete();
        return result;
    }
    if (readBack != table) {
        result.error =
            tr("The font table read back from %1 differs from what was written.").arg(path) +
            maybeIncomplete();
        return result;
    }

    // Linux releases the descriptor even when close reports EINTR, so it is never retried.
    const int closed = calls.close(file.release()) == 0 ? 0 : errno;
    if (closed != 0 && closed != EINTR) {
        result.error =
            tr("Closing %1 failed: %2.").arg(path, systemError(closed)) + maybeIncomplete();
        return result;
    }
    return result;
}

} // namespace fonttable
