#pragma once

#include "fonttable/fonttable.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

// Reading and writing the font block in place in the game's archive. The archive is the user's
// only copy of their game data, so it is opened only if it is an existing regular file, never
// created, grown or truncated, and every failure is reported with a readable text instead of
// being ignored. A Save writes only over the font table that the last Read (or Save) left there:
// the archive must be the same file, of the same length, with the same bytes in the block.
namespace fonttable
{

// The system calls the archive goes through. Tests replace single entries to make the disk fail
// in the ways a real one can.
struct FileCalls {
    std::function<int(int dir, const char *name, int flags)> openat = [](int dir, const char *name,
                                                                         int flags) {
        return ::openat(dir, name, flags);
    };
    std::function<int(int fd, struct stat *info)> fstat = ::fstat;
    std::function<ssize_t(int fd, void *buffer, size_t count, off_t offset)> pread = ::pread;
    std::function<ssize_t(int fd, const void *buffer, size_t count, off_t offset)> pwrite =
        ::pwrite;
    std::function<int(int fd, int mode, off_t offset, off_t length)> fallocate = ::fallocate;
    std::function<int(int fd)> fdatasync = ::fdatasync;
    std::function<int(int fd)> close = ::close;
};

// The folder that holds the archive, taken as bytes so that a name in any encoding works, and
// held open for the whole run so that the archive is always looked for in that same folder.
class Folder
{
public:
    explicit Folder(const QByteArray &path);
    ~Folder();
    Folder(Folder &&other) noexcept;
    Folder &operator=(Folder &&) = delete;

    // The folder the program was started from: where its command, or the link to it that the
    // user placed, lies; through PATH as the shell found it.
    static Folder ofProgram(const char *argv0);

    int fd() const { return m_fd; }
    QString display() const { return m_display; } // for messages only
    QString error() const { return m_error; }     // empty when the folder is open

private:
    int m_fd = -1;
    QString m_display;
    QString m_error;
};

// Which file a Read found, and what it held: a Save writes only over exactly that.
struct Archive {
    QByteArray name; // in the folder; may be another spelling of the archive's name
    dev_t device = 0;
    ino_t inode = 0;
    qint64 size = 0;
    FontTable base; // the block as read, or as last saved
    // What a Save that failed part way tried to write: the block may hold a mix of it and base.
    std::optional<FontTable> attempted;
};

struct ReadResult {
    QString error; // empty on success
    Archive archive;

    bool ok() const { return error.isEmpty(); }
};

struct WriteResult {
    QString error; // empty when the block is on the disk and reads back as written

    bool ok() const { return error.isEmpty(); }
};

// The path of a file in the folder, as messages show it.
QString displayPath(const Folder &folder, const QByteArray &name);

// Opens the archive for reading only, after checking that it is a regular file that could be
// written, and reads the block.
ReadResult readBlock(const Folder &folder, const FileCalls &calls = {});
// The same for a file of any name, such as a copy of the archive.
ReadResult readBlock(const Folder &folder, const QByteArray &name, const FileCalls &calls = {});

// Writes the table over the archive's block, under a lock, after checking that the archive is
// still what the Read found; then flushes it and compares what the disk holds. On success
// archive.base becomes the table.
WriteResult writeBlock(const Folder &folder, Archive &archive, const FontTable &table,
                       const FileCalls &calls = {});

} // namespace fonttable
