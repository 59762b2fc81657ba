#include "fonttable/archiveio_p.h"
#include "fonttable/winpath_p.h"

#include <QDir>

#include <memory>
#include <string>

namespace fonttable
{

namespace
{

constexpr qint64 Alignment = 4096; // a multiple of every disk's sector size

HANDLE handleOf(const io::File &file)
{
    return reinterpret_cast<HANDLE>(file.handle);
}

std::wstring pathIn(const Folder &folder, const QByteArray &name)
{
    return longPath(folder.display() + QLatin1Char('\\') + QString::fromUtf8(name));
}

int lastError()
{
    return int(::GetLastError());
}

io::Info infoOf(const FileIdentity &id)
{
    const bool folder = id.attributes & FILE_ATTRIBUTE_DIRECTORY;
    return {!folder && !(id.attributes & FILE_ATTRIBUTE_DEVICE), folder, id.volume, id.file,
            id.size};
}

int openIn(const Folder &folder, const QByteArray &name, unsigned long access, unsigned long share,
           unsigned long flags, io::File &file)
{
    HANDLE h = file.calls.createFile(pathIn(folder, name).c_str(), access, share, flags);
    if (h == INVALID_HANDLE_VALUE)
        return lastError();
    file.handle = reinterpret_cast<NativeHandle>(h);
    return 0;
}

// Where only administrators may change files: the folders Windows installs programs in.
bool underProgramFiles(const QString &path)
{
    for (const wchar_t *variable : {L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432"}) {
        wchar_t value[MAX_PATH];
        const DWORD n = ::GetEnvironmentVariableW(variable, value, MAX_PATH);
        if (n == 0 || n >= MAX_PATH)
            continue;
        const QString folder = QString::fromWCharArray(value, int(n)) + QLatin1Char('\\');
        if (QDir::toNativeSeparators(path).startsWith(folder, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// Another Tessora saving the same archive holds this range, far past the end of any file: a lock
// on the block itself would also keep this program's own second handle from reading the block
// back from the disk.
constexpr qint64 WriterLock = (qint64(1) << 62) + TableOffset;

} // namespace

io::File::~File()
{
    if (handle != InvalidHandle)
        calls.closeHandle(handleOf(*this));
}

bool io::notFound(int error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

Failure::Cause io::causeOf(int error, const QString &path)
{
    switch (error) {
    case ERROR_ACCESS_DENIED: {
        const DWORD attributes = ::GetFileAttributesW(longPath(path).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
            !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return Failure::ReadOnly;
        return underProgramFiles(path) ? Failure::AdminOnly : Failure::AccessDenied;
    }
    case ERROR_SHARING_VIOLATION:
        return Failure::InUse;
    case ERROR_LOCK_VIOLATION:
        return Failure::LockedByOther;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return Failure::NoSpace;
    case ERROR_WRITE_PROTECT:
        return Failure::ReadOnlyMedium;
    case ERROR_NOT_READY:
    case ERROR_BAD_NETPATH:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_UNEXP_NET_ERR:
    case ERROR_NETNAME_DELETED:
    case ERROR_BAD_NET_NAME:
    case ERROR_NO_MEDIA_IN_DRIVE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_NETWORK_UNREACHABLE:
    case ERROR_DEVICE_REMOVED:
        return Failure::DriveGone;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
        return Failure::Unsupported;
    }
    return Failure::Other;
}

QString systemErrorText(int error)
{
    wchar_t *text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, DWORD(error), 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    QString words = n ? QString::fromWCharArray(text, int(n)).trimmed() : QString();
    ::LocalFree(text);
    while (words.endsWith(QLatin1Char('.')))
        words.chop(1);
    return words.isEmpty() ? QStringLiteral("error %1").arg(error) : words;
}

// A file marked read-only, or that the user may not change, is refused here; one that another
// program holds open without sharing is not: Save says so when it meets it.
int io::checkWritable(const FileCalls &calls, const Folder &folder, const QByteArray &name)
{
    const std::wstring path = pathIn(folder, name);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return lastError();
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return 0;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
        return ERROR_ACCESS_DENIED;
    HANDLE h = calls.createFile(path.c_str(), FILE_WRITE_DATA, ShareAll, 0);
    if (h == INVALID_HANDLE_VALUE)
        return lastError() == ERROR_SHARING_VIOLATION ? 0 : lastError();
    calls.closeHandle(h);
    return 0;
}

// Backup semantics open a folder too, so that it is told apart from a file.
int io::openForReading(const Folder &folder, const QByteArray &name, File &file)
{
    return openIn(folder, name, GENERIC_READ, ShareAll, FILE_FLAG_BACKUP_SEMANTICS, file);
}

// Not shared for deleting: an updater cannot replace the archive under a Save. The read-only
// attribute is asked first, as Windows would refuse the open, so that it is told apart from
// other denials.
int io::openForWriting(const Folder &folder, const QByteArray &name, File &file)
{
    const DWORD attributes = ::GetFileAttributesW(pathIn(folder, name).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return ERROR_ACCESS_DENIED;
    return openIn(folder, name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  FILE_ATTRIBUTE_NORMAL, file);
}

int io::describe(const File &file, Info &info)
{
    FileIdentity id;
    if (!file.calls.identify(handleOf(file), &id))
        return lastError();
    info = infoOf(id);
    return 0;
}

int io::lookUp(const Folder &folder, const QByteArray &name, Info &info)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(pathIn(folder, name).c_str(), GetFileExInfoStandard, &data))
        return lastError();
    FileIdentity id;
    id.attributes = data.dwFileAttributes;
    id.size = qint64(quint64(data.nFileSizeHigh) << 32 | data.nFileSizeLow);
    info = infoOf(id);
    return 0;
}

// A file system without stable file IDs reports 0; there the length and the block's bytes tell.
bool io::sameFile(const File &, const Info &info, const Archive &archive)
{
    return info.device == archive.device &&
           (info.file == archive.file || info.file == 0 || archive.file == 0);
}

// At most 1 GiB a call, as a DWORD counts; the end of the file is a transfer of 0 bytes.
template <typename Call, typename Buffer>
qint64 transfer(const Call &call, const io::File &file, Buffer *buffer, qint64 count, qint64 offset,
                int &error)
{
    unsigned long done = 0;
    const auto chunk = static_cast<unsigned long>(std::min<qint64>(count, 1 << 30));
    const bool ok = call(handleOf(file), buffer, chunk, &done, offset);
    error = ok ? 0 : lastError();
    if (error == ERROR_HANDLE_EOF)
        error = 0;
    return ok || error == 0 ? qint64(done) : -1;
}

qint64 io::read(const File &file, void *buffer, qint64 count, qint64 offset, int &error)
{
    return transfer(file.calls.readFile, file, buffer, count, offset, error);
}

qint64 io::write(const File &file, const void *buffer, qint64 count, qint64 offset, int &error)
{
    return transfer(file.calls.writeFile, file, buffer, count, offset, error);
}

// Windows allocates a sparse file's clusters as it writes them: a full disk fails the write,
// whose bytes are then put back, or the flush, which is reported.
int io::reserve(const File &)
{
    return 0;
}

// Windows' locks are binding: a program holding one on the block would make this Save fail part
// way, so it is asked for at once, and let go again for the reads through a second handle.
int io::lock(const File &file)
{
    constexpr unsigned long Now = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;
    HANDLE h = handleOf(file);
    if (!file.calls.lockFile(h, Now, WriterLock, TableSize))
        return lastError();
    if (!file.calls.lockFile(h, Now, TableOffset, TableSize))
        return lastError();
    file.calls.unlockFile(h, TableOffset, TableSize);
    return 0;
}

void io::dropCache(const File &)
{
}

// Through a second handle that bypasses the cache, reading whole sectors into an aligned buffer.
int io::readFromDisk(const Folder &folder, const QByteArray &name, const File &file,
                     FontTable &table)
{
    constexpr unsigned long Direct = FILE_FLAG_NO_BUFFERING;
    File direct(file.calls);
    HANDLE h = file.calls.reopenFile(handleOf(file), GENERIC_READ, ShareAll, Direct);
    if (h == INVALID_HANDLE_VALUE)
        h = file.calls.createFile(pathIn(folder, name).c_str(), GENERIC_READ, ShareAll, Direct);
    // Where the file system refuses that (some network redirectors do), through the open handle:
    // Windows keeps one cache for every handle of a local file.
    if (h == INVALID_HANDLE_VALUE) {
        qint64 done = 0;
        int error = 0;
        for (qint64 n = 1; done < TableSize && n > 0; done += std::max<qint64>(n, 0))
            n = read(file, table.data() + done, TableSize - done, TableOffset + done, error);
        return done == TableSize ? 0 : error ? error : -1;
    }
    direct.handle = reinterpret_cast<NativeHandle>(h);
    const qint64 start = TableOffset / Alignment * Alignment;
    const qint64 length = (MinimumArchiveSize - start + Alignment - 1) / Alignment * Alignment;
    const std::unique_ptr<void, decltype([](void *p) { ::VirtualFree(p, 0, MEM_RELEASE); })> buffer(
        ::VirtualAlloc(nullptr, SIZE_T(length), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!buffer)
        return lastError();
    char *bytes = static_cast<char *>(buffer.get());
    // The archive may end inside the last sector: a short read there is enough.
    for (qint64 done = 0; done < MinimumArchiveSize - start;) {
        int error = 0;
        const qint64 n = read(direct, bytes + done, length - done, start + done, error);
        if (n <= 0)
            return n < 0 ? error : -1;
        done += n;
    }
    std::memcpy(table.data(), bytes + (TableOffset - start), TableSize);
    return 0;
}

int io::flush(const File &file)
{
    return file.calls.flushFileBuffers(handleOf(file)) ? 0 : lastError();
}

int io::close(File &file)
{
    HANDLE h = reinterpret_cast<HANDLE>(std::exchange(file.handle, InvalidHandle));
    return file.calls.closeHandle(h) ? 0 : lastError();
}

// Windows' file systems ignore case: the archive's name finds every spelling.
QList<QByteArray> io::otherSpellings(const Folder &)
{
    return {};
}

QString io::linkTarget(const Folder &, const QByteArray &)
{
    return {};
}

} // namespace fonttable
