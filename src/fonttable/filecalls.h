#pragma once

#include <QtGlobal>

#include <cstdint>
#include <functional>

#ifdef Q_OS_WIN
#include <cstddef>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace fonttable
{

// A file descriptor, or on Windows a HANDLE; -1 is neither.
using NativeHandle = std::intptr_t;
inline constexpr NativeHandle InvalidHandle = -1;

#ifdef Q_OS_WIN

// What GetFileInformationByHandle tells of a file.
struct FileIdentity {
    unsigned long attributes = 0;
    quint64 volume = 0, file = 0; // file is 0 where the file system has no stable ID
    qint64 size = 0;
    unsigned long links = 0;
};

// The Win32 calls the archive goes through, with the HANDLEs and DWORDs they take. Tests replace
// single entries to make the disk fail in the ways a real one can. Each returns what its Win32
// call returns, with the error in GetLastError(); offsets are whole.
struct FileCalls {
    std::function<void *(const wchar_t *path, unsigned long access, unsigned long share,
                         unsigned long flags)>
        createFile; // OPEN_EXISTING, always
    std::function<void *(void *file, unsigned long access, unsigned long share,
                         unsigned long flags)>
        reopenFile;
    std::function<int(void *file, FileIdentity *identity)> identify;
    std::function<int(void *file, void *buffer, unsigned long count, unsigned long *done,
                      qint64 offset)>
        readFile;
    std::function<int(void *file, const void *buffer, unsigned long count, unsigned long *done,
                      qint64 offset)>
        writeFile;
    std::function<int(void *file, unsigned long flags, qint64 offset, qint64 length)> lockFile;
    std::function<int(void *file, qint64 offset, qint64 length)> unlockFile;
    std::function<int(void *file)> flushFileBuffers;
    std::function<int(void *file)> closeHandle;

    FileCalls();
};

#else

// The system calls the archive goes through. Tests replace single entries to make the disk fail
// in the ways a real one can.
struct FileCalls {
    std::function<int(int dir, const char *name, int flags)> openat = [](int dir, const char *name,
                                                                         int flags) {
        return ::openat(dir, name, flags);
    };
    std::function<int(int fd, struct stat *info)> fstat = ::fstat;
    std::function<int(int fd, struct statfs *info)> fstatfs = ::fstatfs;
    std::function<ssize_t(int fd, void *buffer, size_t count, off_t offset)> pread = ::pread;
    std::function<ssize_t(int fd, const void *buffer, size_t count, off_t offset)> pwrite =
        ::pwrite;
    std::function<int(int fd, int mode, off_t offset, off_t length)> fallocate = ::fallocate;
    std::function<int(int fd)> fdatasync = ::fdatasync;
    std::function<int(int fd, off_t offset, off_t length, int advice)> fadvise = ::posix_fadvise;
    std::function<int(int fd)> close = ::close;
};

#endif

} // namespace fonttable
