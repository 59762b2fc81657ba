#pragma once

// A disk's faults, played through the file calls the archive goes through.

#include "fonttable/resourcefile.h"

#include <QByteArray>

#include <memory>
#include <vector>

#ifdef Q_OS_WIN
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <cerrno>
#endif

namespace testsupport
{
using namespace fonttable;

// A disk's behaviour as scripts of successive reads and writes, the last step standing for all
// later calls: move at most so many bytes (Real: all), fail with minus a system error code, Cut
// (another program cuts the file short, then the write happens), Flip (a byte comes back flipped)
// or Stale (the cache is older than the disk: a byte comes back flipped only past the cache, or
// once the cache has dropped its page).
constexpr int Real = 1 << 30, Cut = -1'000'000, Flip = -1'000'001, Stale = -1'000'002;
struct Fault {
    std::vector<int> reads = {Real}, writes = {Real};
    int reserve = 0, flush = 0, close = 0, direct = 0; // the error code these calls fail with
    unsigned fs = 0; // the file system's magic, which gives the file a new number
    int denied = 0;  // the error an open for writing fails with
};

// The system's codes for the errors the rows name.
#ifdef Q_OS_WIN
constexpr int IoError = ERROR_IO_DEVICE, NoSpace = ERROR_DISK_FULL, NotHere = ERROR_NOT_SUPPORTED,
              Denied = ERROR_ACCESS_DENIED, DriveGone = ERROR_NETNAME_DELETED;
#else
constexpr int IoError = EIO, NoSpace = ENOSPC, NotHere = EINVAL, Denied = EACCES;
#endif
constexpr unsigned Fuse = 0x6573'5546, Ext4 = 0xef53;

#ifdef Q_OS_WIN

inline FileCalls faulty(const Fault &f)
{
    auto direct = std::make_shared<std::vector<void *>>(); // handles that bypass the cache
    auto scripted = [direct](std::vector<int> script, auto call) {
        return [=, n = std::make_shared<size_t>()](void *file, auto *buffer, unsigned long count,
                                                   unsigned long *done, qint64 at) {
            const int step = script[std::min((*n)++, script.size() - 1)];
            if (step == Cut) {
                FILE_END_OF_FILE_INFO end = {};
                end.EndOfFile.QuadPart = 1000;
                ::SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end);
            }
            if (step < 0 && step > Cut)
                return (::SetLastError(DWORD(-step)), 0);
            const int ok = call(file, buffer,
                                std::min(count, (unsigned long)(step < 0 ? Real : step)), done, at);
            const bool fresh = std::count(direct->begin(), direct->end(), file) > 0;
            const bool flip = step == Flip || (step == Stale && fresh);
            if (const qint64 i = TableOffset + 100 - at; ok && flip && i >= 0 && i < *done)
                const_cast<char *>(static_cast<const char *>(buffer))[i] ^= 1;
            return ok;
        };
    };
    FileCalls calls, real;
    calls.readFile = scripted(f.reads, real.readFile);
    calls.writeFile = scripted(f.writes, real.writeFile);
    auto opened = [=](void *h, bool bypass) {
        if (bypass)
            direct->push_back(h);
        return h;
    };
    calls.createFile = [=](const wchar_t *path, unsigned long access, unsigned long share,
                           unsigned long flags) -> void * {
        const bool bypass = flags & FILE_FLAG_NO_BUFFERING;
        const int e = bypass ? f.direct : access & (GENERIC_WRITE | FILE_WRITE_DATA) ? f.denied : 0;
        return e ? (::SetLastError(DWORD(e)), INVALID_HANDLE_VALUE)
                 : opened(real.createFile(path, access, share, flags), bypass);
    };
    calls.reopenFile = [=](void *file, unsigned long access, unsigned long share,
                           unsigned long flags) -> void * {
        return f.direct ? (::SetLastError(DWORD(f.direct)), INVALID_HANDLE_VALUE)
                        : opened(real.reopenFile(file, access, share, flags), true);
    };
    calls.flushFileBuffers = [=](void *file) {
        return f.flush ? (::SetLastError(DWORD(f.flush)), 0) : real.flushFileBuffers(file);
    };
    calls.closeHandle = [=](void *file) {
        std::erase(*direct, file);
        return !real.closeHandle(file) ? 0 : f.close ? (::SetLastError(DWORD(f.close)), 0) : 1;
    };
    calls.identify = [=](void *file, FileIdentity *identity) {
        const int ok = real.identify(file, identity);
        if (f.fs)
            identity->file = f.fs == Fuse ? 0 : identity->file + 1;
        return ok;
    };
    return calls;
}

#else

inline FileCalls faulty(const Fault &f)
{
    auto dropped = std::make_shared<bool>(false);
    auto scripted = [dropped](std::vector<int> script, auto call) {
        return [=, n = std::make_shared<size_t>()](int fd, auto *buffer, size_t count, off_t at) {
            const int step = script[std::min((*n)++, script.size() - 1)];
            if (step == Cut)
                (void)::ftruncate(fd, 1000);
            if (step < 0 && step > Cut)
                return (errno = -step, ssize_t(-1));
            const ssize_t got =
                call(fd, buffer, std::min(count, size_t(step < 0 ? Real : step)), at);
            const bool fresh = (::fcntl(fd, F_GETFL) & O_DIRECT) || *dropped;
            const bool flip = step == Flip || (step == Stale && fresh);
            if (const qint64 i = TableOffset + 100 - at; flip && i >= 0 && i < got)
                const_cast<char *>(static_cast<const char *>(buffer))[i] ^= 1;
            return got;
        };
    };
    FileCalls calls;
    calls.pread = scripted(f.reads, ::pread);
    calls.pwrite = scripted(f.writes, ::pwrite);
    calls.fallocate = [e = f.reserve](int fd, int mode, off_t at, off_t length) {
        return e ? (errno = e, -1) : ::fallocate(fd, mode, at, length);
    };
    calls.fadvise = [dropped](int fd, off_t at, off_t length, int advice) {
        // Only pages wholly inside the range leave the cache; length 0 reaches the end.
        const off_t page = ::sysconf(_SC_PAGESIZE), p = (TableOffset + 100) / page * page;
        *dropped |=
            advice == POSIX_FADV_DONTNEED && at <= p && (!length || at + length >= p + page);
        return ::posix_fadvise(fd, at, length, advice);
    };
    calls.fdatasync = [e = f.flush](int fd) {
        return e ? (errno = e, -1) : ::fdatasync(fd);
    };
    calls.close = [e = f.close](int fd) {
        return ::close(fd) ? -1 : e ? (errno = e, -1) : 0;
    };
    calls.fstat = [fs = f.fs](int fd, struct stat *info) {
        return ::fstat(fd, info) ? -1 : (info->st_ino += fs != 0, 0);
    };
    calls.fstatfs = [fs = f.fs](int fd, struct statfs *info) {
        return ::fstatfs(fd, info) ? -1 : (info->f_type = fs ? fs : info->f_type, 0);
    };
    calls.openat = [e = f.direct, denied = f.denied](int dir, const char *name, int flags) {
        if (e && (flags & O_DIRECT))
            return (errno = e, -1);
        if (denied && (flags & O_ACCMODE) != O_RDONLY)
            return (errno = denied, -1);
        return ::openat(dir, name, flags);
    };
    return calls;
}

#endif

} // namespace testsupport
