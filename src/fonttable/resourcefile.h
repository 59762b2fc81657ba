#pragma once

#include "fonttable/fonttable.h"

#include <QString>

#include <functional>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

// Reading and writing the font block in place in the game's archive. The archive is the user's
// only copy of their game data, so it is opened only if it already exists, never created, grown
// or truncated, and every failure is reported with a readable text instead of being ignored.
namespace fonttable
{

// The system calls the archive goes through. Tests replace single entries to make the disk fail
// in the ways a real one can.
struct FileCalls {
    std::function<int(const char *path, int flags)> open = [](const char *path, int flags) {
        return ::open(path, flags);
    };
    std::function<int(int fd, struct stat *info)> fstat = ::fstat;
    std::function<ssize_t(int fd, void *buffer, size_t count, off_t offset)> pread = ::pread;
    std::function<ssize_t(int fd, const void *buffer, size_t count, off_t offset)> pwrite =
        ::pwrite;
    std::function<int(int fd)> fdatasync = ::fdatasync;
    std::function<int(int fd)> close = ::close;
};

struct ReadResult {
    QString error; // empty on success
    FontTable table;
    qint64 archiveSize = 0;

    bool ok() const { return error.isEmpty(); }
};

struct WriteResult {
    QString error; // empty when the block is on the disk and reads back as written

    bool ok() const { return error.isEmpty(); }
};

// The archive's path in the program's directory. A copy from a system that ignores letter case
// may carry another spelling of the name; exactly one such file is accepted in its place.
QString resourcePath(const QString &programDir);

// One open, one read of the block, one close.
ReadResult readBlock(const QString &path, const FileCalls &calls = {});

// One open, one write of the block, a flush to the disk, a read-back to compare, one close.
// expectedSize is the archive's length at the last read: another length means another version
// of the archive, where the block may lie elsewhere, so nothing is written.
WriteResult writeBlock(const QString &path, const FontTable &table, qint64 expectedSize,
                       const FileCalls &calls = {});

} // namespace fonttable
