#include "fonttable/archiveio_p.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <dirent.h>

namespace fonttable
{

namespace
{

// Files are opened without ever waiting on another program's lease and without ever becoming
// the program's terminal.
constexpr int OpenFlags = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
constexpr qint64 Alignment = 4096; // a multiple of every disk's logical block size

template <typename Call> auto retried(const Call &call)
{
    decltype(call()) result;
    do {
        result = call();
    } while (result < 0 && errno == EINTR);
    return result;
}

int fd(const io::File &file)
{
    return int(file.handle);
}

io::Info infoOf(const struct stat &s)
{
    return {S_ISREG(s.st_mode), S_ISDIR(s.st_mode), quint64(s.st_dev), quint64(s.st_ino),
            qint64(s.st_size)};
}

int openIn(const Folder &folder, const QByteArray &name, int flags, io::File &file)
{
    const int opened = retried([&] {
        return file.calls.openat(int(folder.handle()), name.constData(), flags | OpenFlags);
    });
    if (opened < 0)
        return errno;
    file.handle = opened;
    return 0;
}

// File systems that make an inode number up each time a file is looked up, so that the same file
// may come back under another one once the kernel has forgotten it.
bool keepsInodeNumbers(const struct statfs &fs)
{
    switch (quint32(fs.f_type)) {
    case 0x6573'5546: // FUSE: exFAT, FAT and NTFS through their FUSE drivers, among others
    case 0x4d44:      // FAT
    case 0x2011'bab0: // exFAT
    case 0x517b:      // SMB
    case 0xff53'4d42: // CIFS
    case 0xfe53'4d42: // SMB2
        return false;
    }
    return true;
}

} // namespace

io::File::~File()
{
    if (handle != InvalidHandle)
        calls.close(int(handle));
}

bool io::notFound(int error)
{
    return error == ENOENT;
}

Failure::Cause io::causeOf(int error, const QString &)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return Failure::AccessDenied;
    case EROFS:
        return Failure::ReadOnlyMedium;
    case EWOULDBLOCK:
        return Failure::Leased;
    case ENOSPC:
    case EDQUOT:
        return Failure::NoSpace;
    }
    return Failure::Other;
}

QString systemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Opened for reading only, so that a file system with layers copies nothing up and another
// program's read lease is no obstacle; whether Save could write is asked without opening.
int io::checkWritable(const FileCalls &, const Folder &folder, const QByteArray &name)
{
    return ::faccessat(int(folder.handle()), name.constData(), W_OK, AT_EACCESS) == 0 ? 0 : errno;
}

int io::openForReading(const Folder &folder, const QByteArray &name, File &file)
{
    return openIn(folder, name, O_RDONLY, file);
}

int io::openForWriting(const Folder &folder, const QByteArray &name, File &file)
{
    // Past a file-size limit the write fails with EFBIG and is reported, instead of the
    // signal ending the program with every edit.
    static const bool ignoreSizeLimitSignal = (std::signal(SIGXFSZ, SIG_IGN), true);
    Q_UNUSED(ignoreSizeLimitSignal);
    return openIn(folder, name, O_RDWR, file);
}

int io::describe(const File &file, Info &info)
{
    struct stat s;
    if (file.calls.fstat(fd(file), &s) != 0)
        return errno;
    info = infoOf(s);
    return 0;
}

int io::lookUp(const Folder &folder, const QByteArray &name, Info &info)
{
    struct stat s;
    if (::fstatat(int(folder.handle()), name.constData(), &s, 0) != 0)
        return errno;
    info = infoOf(s);
    return 0;
}

bool io::sameFile(const File &file, const Info &info, const Archive &archive)
{
    if (info.device != archive.device)
        return false;
    struct statfs fs;
    return info.file == archive.file ||
           (file.calls.fstatfs(fd(file), &fs) == 0 && !keepsInodeNumbers(fs));
}

qint64 io::read(const File &file, void *buffer, qint64 count, qint64 offset, int &error)
{
    const ssize_t n =
        retried([&] { return file.calls.pread(fd(file), buffer, size_t(count), off_t(offset)); });
    error = n < 0 ? errno : 0;
    return n;
}

qint64 io::write(const File &file, const void *buffer, qint64 count, qint64 offset, int &error)
{
    const ssize_t n =
        retried([&] { return file.calls.pwrite(fd(file), buffer, size_t(count), off_t(offset)); });
    error = n < 0 ? errno : 0;
    return n;
}

// File systems without the call are written as before.
int io::reserve(const File &file)
{
    const int reserved = retried([&] {
        return file.calls.fallocate(fd(file), FALLOC_FL_KEEP_SIZE, TableOffset, TableSize);
    });
    const int error = errno;
    return reserved != 0 && (error == ENOSPC || error == EDQUOT) ? error : 0;
}

int io::lock(const File &file)
{
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = TableOffset;
    lock.l_len = TableSize;
    return ::fcntl(fd(file), F_OFD_SETLK, &lock) == 0 ? 0 : errno;
}

// From the page the block starts in (a page only partly covered is kept) to the end of the file
// (length 0).
void io::dropCache(const File &file)
{
    const qint64 page = ::sysconf(_SC_PAGESIZE);
    file.calls.fadvise(fd(file), off_t(TableOffset / page * page), 0, POSIX_FADV_DONTNEED);
}

// Through a second descriptor that bypasses the cache, or, where the file system refuses that,
// after dropping the cached pages.
int io::readFromDisk(const Folder &, const QByteArray &, const File &file, FontTable &table)
{
    const QByteArray procPath = "/proc/self/fd/" + QByteArray::number(fd(file));
    File direct(file.calls);
    direct.handle = retried([&] {
        return file.calls.openat(AT_FDCWD, procPath.constData(), O_RDONLY | O_DIRECT | OpenFlags);
    });
    if (direct.handle < 0) {
        dropCache(file);
        qint64 done = 0;
        int error = 0;
        for (qint64 n = 1; done < TableSize && n > 0; done += std::max<qint64>(n, 0))
            n = read(file, table.data() + done, TableSize - done, TableOffset + done, error);
        return done == TableSize ? 0 : error ? error : -1;
    }
    const qint64 start = TableOffset / Alignment * Alignment;
    const qint64 length = (MinimumArchiveSize - start + Alignment - 1) / Alignment * Alignment;
    const std::unique_ptr<char, decltype(&std::free)> buffer(
        static_cast<char *>(std::aligned_alloc(Alignment, size_t(length))), &std::free);
    // The archive may end inside the last block: a short read there is enough.
    for (qint64 done = 0; done < MinimumArchiveSize - start;) {
        int error = 0;
        const qint64 n = read(direct, buffer.get() + done, length - done, start + done, error);
        if (n <= 0)
            return n < 0 ? error : -1;
        done += n;
    }
    std::memcpy(table.data(), buffer.get() + (TableOffset - start), TableSize);
    return 0;
}

int io::flush(const File &file)
{
    return retried([&] { return file.calls.fdatasync(fd(file)); }) == 0 ? 0 : errno;
}

// Linux releases the descriptor even when close reports EINTR, so it is never retried.
int io::close(File &file)
{
    const int closed =
        file.calls.close(int(std::exchange(file.handle, InvalidHandle))) == 0 ? 0 : errno;
    return closed == EINTR ? 0 : closed;
}

QList<QByteArray> io::otherSpellings(const Folder &folder)
{
    QList<QByteArray> names;
    const int listing = ::openat(int(folder.handle()), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (DIR *dir = listing >= 0 ? ::fdopendir(listing) : nullptr) {
        while (const dirent *entry = ::readdir(dir))
            if (qstricmp(entry->d_name, ResourceName) == 0 && qstrcmp(entry->d_name, ResourceName))
                names << entry->d_name;
        ::closedir(dir);
    } else if (listing >= 0) {
        ::close(listing);
    }
    return names;
}

QString io::linkTarget(const Folder &folder, const QByteArray &name)
{
    char target[4096];
    const ssize_t n = ::readlinkat(int(folder.handle()), name.constData(), target, sizeof target);
    return n > 0 ? QFile::decodeName(QByteArray(target, int(n))) : QString();
}

} // namespace fonttable
