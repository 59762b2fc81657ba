#pragma once

// The system calls behind the archive's protocol, one implementation a system:
// resourcefile_unix.cpp and resourcefile_win.cpp. Errors are the system's own codes, 0 for none.

#include "fonttable/resourcefile.h"

#include <QList>

namespace fonttable::io
{

struct Info {
    bool regular = false, folder = false;
    quint64 device = 0, file = 0;
    qint64 size = 0;
};

// An open file, closed when it goes out of scope unless closed before to see the result.
struct File {
    const FileCalls &calls;
    NativeHandle handle = InvalidHandle;

    explicit File(const FileCalls &calls) : calls(calls) {}
    ~File();
    File(const File &) = delete;
    File &operator=(const File &) = delete;
};

bool notFound(int error);
Failure::Cause causeOf(int error, const QString &path);

// Whether the file could be opened for writing, asked without opening it for writing where the
// system allows.
int checkWritable(const FileCalls &calls, const Folder &folder, const QByteArray &name);
// For reading only, sharing it with every other program; for writing, sharing it with readers.
// Never creates a file, never waits on another program.
int openForReading(const Folder &folder, const QByteArray &name, File &file);
int openForWriting(const Folder &folder, const QByteArray &name, File &file);
int describe(const File &file, Info &info);
// What the name is now, without opening it.
int lookUp(const Folder &folder, const QByteArray &name, Info &info);
// Whether the open file is the one the Read found, by the system's means of telling.
bool sameFile(const File &file, const Info &info, const Archive &archive);

// Bytes moved, or -1 with error set; interruptions are retried.
qint64 read(const File &file, void *buffer, qint64 count, qint64 offset, int &error);
qint64 write(const File &file, const void *buffer, qint64 count, qint64 offset, int &error);

// Room for the block where it lies in a hole of a sparse file; 0 also where the system cannot
// reserve it.
int reserve(const File &file);
// One writer at a time: another Tessora saving the same archive, or a program holding a lock on
// the block, is refused at once, never waited on.
int lock(const File &file);
// The block as the disk holds it, not as the cache does: 0, an error, or -1 for a read that ended
// early.
int readFromDisk(const Folder &folder, const QByteArray &name, const File &file, FontTable &table);
int flush(const File &file);
// After a failed flush: a later Read then shows what the disk holds, not the unsaved edit.
void dropCache(const File &file);
int close(File &file);

// Other spellings of the archive's name that the folder holds, where names differ in case.
QList<QByteArray> otherSpellings(const Folder &folder);
// Where the name, a link, points to; empty when it is no link.
QString linkTarget(const Folder &folder, const QByteArray &name);

} // namespace fonttable::io
