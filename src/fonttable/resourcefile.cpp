#include "fonttable/resourcefile.h"

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

template <typename Call> auto retried(const Call &call)
{
    decltype(call()) result;
    do {
        result = call();
    } while (result < 0 && errno == EINTR);
    return result;
}

struct Transfer {
    qint64 done = 0;
    int error = 0; // errno of the failed call, or 0 when the call moved no bytes
};

// Reads or writes count bytes of the block, going on after interruptions and partial transfers.
template <typename Call, typename Buffer>
Transfer transferBlock(const Call &call, int fd, Buffer *buffer, qint64 count = TableSize,
                       qint64 offset = TableOffset)
{
    Transfer t;
    while (t.done < count) {
        const ssize_t n = call(fd, buffer + t.done, size_t(count - t.done), off_t(offset + t.done));
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

Failure failed(Failure::What what, const QString &path, int error = 0)
{
    Failure f;
    f.what = what;
    f.path = path;
    f.error = error;
    return f;
}

Failure transferFailure(Failure::What what, const QString &path, const Transfer &t)
{
    Failure f = failed(what, path, t.error);
    f.done = t.done;
    f.expected = TableSize;
    return f;
}

Failure notRegular(const QString &path, const struct stat &info)
{
    Failure f = failed(Failure::NotRegular, path);
    f.mode = info.st_mode;
    return f;
}

// Why no file of that name is there: a link to one that is not (the drive that holds it is not
// mounted, say), the folder itself gone, or nothing by that name.
Failure missing(const Folder &folder, const QByteArray &name, Failure::What otherwise)
{
    const QString path = displayPath(folder, name);
    char target[4096];
    const ssize_t n = ::readlinkat(folder.fd(), name.constData(), target, sizeof target);
    if (n > 0) {
        Failure f = failed(Failure::BrokenLink, path);
        f.paths << QFile::decodeName(QByteArray(target, int(n)));
        return f;
    }
    return folder.gone() ? failed(Failure::FolderGone, folder.display()) : failed(otherwise, path);
}

// The one spelling of the archive's name in the folder that is a regular file, when the exact
// name is not: a copy from a system that ignores case may carry another spelling.
struct Found {
    QByteArray name;
    Failure failure;
};

Found findArchive(const Folder &folder)
{
    QList<QByteArray> names{ResourceName};
    const int listing = ::openat(folder.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (DIR *dir = listing >= 0 ? ::fdopendir(listing) : nullptr) {
        while (const dirent *entry = ::readdir(dir))
            if (qstricmp(entry->d_name, ResourceName) == 0 && qstrcmp(entry->d_name, ResourceName))
                names << entry->d_name;
        ::closedir(dir);
    } else if (listing >= 0) {
        ::close(listing);
    }

    QList<QByteArray> regular;
    Failure problem;
    for (const QByteArray &name : names) {
        struct stat info;
        if (::fstatat(folder.fd(), name.constData(), &info, 0) != 0)
            continue;
        if (S_ISREG(info.st_mode))
            regular << name;
        else if (problem.what == Failure::None)
            problem = notRegular(displayPath(folder, name), info);
    }
    if (regular.size() == 1)
        return {regular.front(), {}};
    if (regular.size() > 1) {
        problem = failed(Failure::Spellings, folder.display());
        for (const QByteArray &name : regular)
            problem.paths << displayPath(folder, name);
    } else if (problem.what == Failure::None) {
        problem = missing(folder, ResourceName, Failure::NotFound);
    }
    return {{}, problem};
}

// Whether the block holds what the last Read or Save left there, byte for byte.
bool untouchedSince(const FontTable &current, const Archive &archive)
{
    for (int i = 1; i <= TableSize; ++i)
        if (current.byte(i) != archive.base.byte(i) &&
            (!archive.attempted || current.byte(i) != archive.attempted->byte(i)))
            return false;
    return true;
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

bool sameFile(int fd, const struct stat &info, const Archive &archive, const FileCalls &calls)
{
    if (info.st_dev != archive.device)
        return false;
    struct statfs fs;
    return info.st_ino == archive.inode || (calls.fstatfs(fd, &fs) == 0 && !keepsInodeNumbers(fs));
}

// Why the open archive cannot be saved over as it is now, if it cannot.
std::optional<Failure> changedSince(const QString &path, int fd, const struct stat &info,
                                    const Archive &archive, const FileCalls &calls)
{
    if (!S_ISREG(info.st_mode))
        return notRegular(path, info);
    if (!sameFile(fd, info, archive, calls))
        return failed(Failure::Replaced, path);
    if (info.st_size != archive.size) {
        Failure f = failed(Failure::Resized, path);
        f.size = info.st_size;
        f.expected = archive.size;
        return f;
    }
    return {};
}

// From the page the block starts in (a page only partly covered is kept) to the end of the file
// (length 0).
void dropCachedPages(int fd, const FileCalls &calls)
{
    const qint64 page = ::sysconf(_SC_PAGESIZE);
    calls.fadvise(fd, off_t(TableOffset / page * page), 0, POSIX_FADV_DONTNEED);
}

// Reads the block as the disk holds it, not as the page cache does: through a second descriptor
// that bypasses the cache, or, where the file system refuses that, after dropping the cached
// pages. Returns the errno of a failed read, or -1 for a short one.
int readFromDisk(int fd, FontTable &table, const FileCalls &calls)
{
    const QByteArray procPath = "/proc/self/fd/" + QByteArray::number(fd);
    const int direct = retried([&] {
        return calls.openat(AT_FDCWD, procPath.constData(), O_RDONLY | O_DIRECT | OpenFlags);
    });
    Descriptor directFile(calls, direct);
    if (direct < 0) {
        dropCachedPages(fd, calls);
        const Transfer t = transferBlock(calls.pread, fd, table.data());
        return t.done == TableSize ? 0 : t.error ? t.error : -1;
    }
    const qint64 start = TableOffset / Alignment * Alignment;
    const qint64 length = (MinimumArchiveSize - start + Alignment - 1) / Alignment * Alignment;
    const std::unique_ptr<char, decltype(&std::free)> buffer(
        static_cast<char *>(std::aligned_alloc(Alignment, size_t(length))), &std::free);
    // The archive may end inside the last block: a short read there is enough.
    for (qint64 done = 0; done < MinimumArchiveSize - start;) {
        const ssize_t n =
            calls.pread(direct, buffer.get() + done, size_t(length - done), off_t(start + done));
        if (n <= 0 && !(n < 0 && errno == EINTR))
            return n < 0 ? errno : -1;
        done += std::max<ssize_t>(n, 0);
    }
    std::memcpy(table.data(), buffer.get() + (TableOffset - start), TableSize);
    return 0;
}

// Reads the block of a regular file of that name into result; false, with nothing read, when
// there is no such regular file.
bool readFound(const Folder &folder, const QByteArray &name, Access access, const FileCalls &calls,
               ReadResult &result)
{
    // Made only for a message: a Read that succeeds costs no more than its system calls.
    auto fail = [&](Failure::What what, int error = 0) {
        result.failure = failed(what, displayPath(folder, name), error);
        return true;
    };

    // Opened for reading only, so that a file system with layers copies nothing up and another
    // program's read lease is no obstacle; whether Save could write is asked without opening.
    if (access == Access::ToSave &&
        ::faccessat(folder.fd(), name.constData(), W_OK, AT_EACCESS) != 0) {
        const int error = errno;
        if (error == ENOENT)
            return false;
        return fail(Failure::NotWritable, error);
    }
    const int fd =
        retried([&] { return calls.openat(folder.fd(), name.constData(), O_RDONLY | OpenFlags); });
    const int openFailure = errno;
    if (fd < 0 && openFailure == ENOENT)
        return false;
    if (fd < 0)
        return fail(Failure::OpenFailed, openFailure);
    Descriptor file(calls, fd);
    struct stat info;
    if (calls.fstat(fd, &info) != 0)
        return fail(Failure::CheckFailed, errno);
    if (!S_ISREG(info.st_mode))
        return false;
    if (info.st_size < MinimumArchiveSize) {
        fail(Failure::TooShort);
        result.failure.size = info.st_size;
        result.failure.expected = MinimumArchiveSize;
        return true;
    }

    Archive &archive = result.archive;
    const Transfer read = transferBlock(calls.pread, fd, archive.base.data());
    if (read.done < TableSize) {
        result.failure = transferFailure(Failure::ReadFailed, displayPath(folder, name), read);
        return true;
    }
    archive.name = name;
    archive.device = info.st_dev;
    archive.inode = info.st_ino;
    archive.size = info.st_size;
    return true;
}

} // namespace

Folder::Folder(const QByteArray &path)
    : m_fd(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
{
    m_error = m_fd < 0 ? errno : 0;
    m_path = path;
    if (!path.startsWith('/')) {
        char *current = ::getcwd(nullptr, 0);
        m_path.prepend(QByteArray(current ? current : "") + '/');
        std::free(current);
    }
    m_display = QDir::cleanPath(QFile::decodeName(m_path));
}

bool Folder::gone() const
{
    struct stat opened, there;
    return m_fd >= 0 && (::fstat(m_fd, &opened) != 0 || opened.st_nlink == 0 ||
                         ::stat(m_path.constData(), &there) != 0 || opened.st_dev != there.st_dev ||
                         opened.st_ino != there.st_ino);
}

Folder::~Folder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

Folder::Folder(Folder &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path)),
      m_display(std::move(other.m_display)), m_error(other.m_error)
{
}

Folder Folder::ofProgram(const char *argv0)
{
    const QByteArray command(argv0);
    if (const qsizetype slash = command.lastIndexOf('/'); slash >= 0)
        return Folder(slash == 0 ? QByteArray("/") : command.left(slash));
    for (QByteArray entry : qgetenv("PATH").split(':')) {
        if (entry.isEmpty())
            entry = ".";
        if (::access((entry + '/' + command).constData(), X_OK) == 0)
            return Folder(entry);
    }
    char target[4096];
    const ssize_t n = ::readlink("/proc/self/exe", target, sizeof target - 1);
    const QByteArray exe(target, n > 0 ? int(n) : 0);
    return Folder(exe.left(std::max<qsizetype>(1, exe.lastIndexOf('/'))));
}

QString displayPath(const Folder &folder, const QByteArray &name)
{
    return QDir(folder.display()).filePath(QFile::decodeName(name));
}

ReadResult readBlock(const Folder &folder, const FileCalls &calls)
{
    ReadResult result;
    if (folder.error())
        result.failure = failed(Failure::FolderUnavailable, folder.display(), folder.error());
    if (!result.ok() || readFound(folder, ResourceName, Access::ToSave, calls, result))
        return result;
    const Found found = findArchive(folder);
    result.failure = found.failure;
    if (result.ok() && !readFound(folder, found.name, Access::ToSave, calls, result))
        result.failure = failed(Failure::Vanished, displayPath(folder, found.name));
    return result;
}

ReadResult readBlock(const Folder &folder, const QByteArray &name, Access access,
                     const FileCalls &calls)
{
    ReadResult result;
    if (folder.error())
        result.failure = failed(Failure::FolderUnavailable, folder.display(), folder.error());
    if (!result.ok() || readFound(folder, name, access, calls, result))
        return result;
    struct stat info;
    result.failure = ::fstatat(folder.fd(), name.constData(), &info, 0) == 0
                         ? notRegular(displayPath(folder, name), info)
                         : missing(folder, name, Failure::NotFound);
    return result;
}

WriteResult writeBlock(const Folder &folder, Archive &archive, const FontTable &table,
                       const FileCalls &calls)
{
    // Past a file-size limit the write fails with EFBIG and is reported, instead of the
    // signal ending the program with every edit.
    static const bool ignoreSizeLimitSignal = (std::signal(SIGXFSZ, SIG_IGN), true);
    Q_UNUSED(ignoreSizeLimitSignal);

    WriteResult result;
    const QString path = displayPath(folder, archive.name);
    const char *name = archive.name.constData();
    auto refuse = [&](const Failure &why, Failure::Written written = Failure::Nothing) {
        result.failure = why;
        result.failure.written = written;
        return result;
    };
    auto fail = [&](Failure::What what, int error = 0) {
        return refuse(failed(what, path, error), Failure::Partly);
    };

    // The type is checked before the file is opened for writing: a device, a pipe or a socket
    // named like the archive is never opened at all.
    struct stat info;
    if (::fstatat(folder.fd(), name, &info, 0) != 0) {
        const int error = errno;
        return refuse(error == ENOENT ? missing(folder, archive.name, Failure::Gone)
                                      : failed(Failure::CheckFailed, path, error));
    }
    if (!S_ISREG(info.st_mode))
        return refuse(notRegular(path, info));

    const int fd = retried([&] { return calls.openat(folder.fd(), name, O_RDWR | OpenFlags); });
    const int openFailure = errno;
    if (fd < 0) {
        Failure f = failed(Failure::OpenFailed, path, openFailure);
        f.writing = true;
        return refuse(f);
    }
    Descriptor file(calls, fd);
    if (calls.fstat(fd, &info) != 0)
        return refuse(failed(Failure::CheckFailed, path, errno));
    if (const auto changed = changedSince(path, fd, info, archive, calls))
        return refuse(*changed);

    // One writer at a time: a second Tessora saving the same archive at the same moment is
    // refused instead of mixing its bytes in, and is told afterwards that the table changed.
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = TableOffset;
    lock.l_len = TableSize;
    if (::fcntl(fd, F_OFD_SETLK, &lock) != 0)
        return refuse(failed(Failure::Locked, path, errno));

    // Compared as the disk holds it: another program, or another name of the same file, may have
    // changed it behind this descriptor's cached pages.
    FontTable current;
    // The length was right a moment ago: a short read means another program has just cut it.
    if (const int error = readFromDisk(fd, current, calls))
        return refuse(error > 0 ? failed(Failure::ReadFailed, path, error)
                                : failed(Failure::LengthChanged, path));
    if (!untouchedSince(current, archive))
        return refuse(failed(Failure::Changed, path));

    // Space first: filling a hole of a sparse archive needs new blocks, and a disk that has none
    // must refuse before a byte is written. File systems without the call are written as before.
    const int reserved =
        retried([&] { return calls.fallocate(fd, FALLOC_FL_KEEP_SIZE, TableOffset, TableSize); });
    const int reserveFailure = errno;
    if (reserved != 0 && (reserveFailure == ENOSPC || reserveFailure == EDQUOT))
        return refuse(failed(Failure::NoRoom, path, reserveFailure));

    const Transfer written = transferBlock(calls.pwrite, fd, table.data());
    if (written.done < TableSize) {
        const Failure f = transferFailure(Failure::WriteFailed, path, written);
        if (written.done == 0)
            return refuse(f);
        if (transferBlock(calls.pwrite, fd, archive.base.data(), written.done).done == written.done)
            return refuse(f, Failure::PutBack);
        archive.attempted = table;
        return refuse(f, Failure::Partly);
    }
    // From here on the block holds the table, or what is left of it if the disk lets it down.
    archive.attempted = table;

    if (retried([&] { return calls.fdatasync(fd); }) != 0) {
        const int error = errno;
        // A later Read then shows what the disk holds, not this unsaved edit.
        dropCachedPages(fd, calls);
        return fail(Failure::FlushFailed, error);
    }

    FontTable onDisk;
    if (const int error = readFromDisk(fd, onDisk, calls))
        return fail(Failure::ReadBackFailed, std::max(error, 0));
    if (onDisk != table)
        return fail(Failure::ReadBackDiffers);
    archive.base = table;
    archive.attempted.reset();

    // Another program may have cut the file short between the checks and the write, which then
    // grew it back; that is never passed over in silence.
    if (calls.fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size != archive.size)
        return fail(Failure::LengthChanged);
    archive.inode = info.st_ino; // where inode numbers are made up, the one it has now

    // Linux releases the descriptor even when close reports EINTR, so it is never retried.
    const int closed = calls.close(file.release()) == 0 ? 0 : errno;
    if (closed != 0 && closed != EINTR)
        return fail(Failure::CloseFailed, closed);
    return result;
}

} // namespace fonttable
