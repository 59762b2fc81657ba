#include "png/pngfile.h"

#include "fonttable/resourcefile.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <fcntl.h>
#include <io.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace pngfile
{

namespace
{

constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Absolute, with Windows' separators, as every call takes it.
std::wstring wide(const QByteArray &path)
{
    return QDir::toNativeSeparators(QFileInfo(QString::fromUtf8(path)).absoluteFilePath())
        .toStdWString();
}

QString lastError()
{
    return fonttable::systemErrorText(int(::GetLastError()));
}

QString cannot(const QString &error)
{
    return QStringLiteral("cannot write it (%1): check the folder and the disk, or give another "
                          "name")
        .arg(error);
}

} // namespace

Opened openForReading(const QByteArray &path, const char *what)
{
    Opened opened;
    HANDLE h = ::CreateFileW(wide(path).c_str(), GENERIC_READ, ShareAll, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION info;
    if (h == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(h, &info)) {
        opened.problem = lastError();
        if (h != INVALID_HANDLE_VALUE)
            ::CloseHandle(h);
        return opened;
    }
    opened.identity = {info.dwVolumeSerialNumber,
                       quint64(info.nFileIndexHigh) << 32 | info.nFileIndexLow, nullptr};
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        ::CloseHandle(h);
        opened.problem = QStringLiteral("is a folder, so not %1").arg(QLatin1StringView(what));
        return opened;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY);
    opened.file = fd >= 0 ? ::_fdopen(fd, "rb") : nullptr;
    if (!opened.file) {
        opened.problem = QStringLiteral("cannot read it");
        fd >= 0 ? ::_close(fd) : ::CloseHandle(h);
    }
    return opened;
}

// Written beside the target under another name, then put in its place: whole or not at all.
// ReplaceFileW keeps an existing image's attributes and permissions, as the Linux build keeps
// its mode and owner.
QString replaceWith(const QByteArray &bytes, const QByteArray &path, const Source &source)
{
    const std::wstring target = wide(path);
    WIN32_FILE_ATTRIBUTE_DATA there;
    const bool exists = ::GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &there);
    if (!exists && ::GetLastError() != ERROR_FILE_NOT_FOUND)
        return QStringLiteral("cannot look at it (%1): check the path").arg(lastError());
    if (exists) {
        if (there.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            return QStringLiteral("is a folder: give the name of a PNG file to write");
        const Opened existing = openForReading(path);
        if (!existing.file)
            return QStringLiteral("cannot read it (%1), so it is left as it is: give the name of "
                                  "a new file, or of a PNG image you may replace")
                .arg(existing.problem);
        const bool png = isPng(existing.file);
        std::fclose(existing.file);
        if (source.what && existing.identity.device == source.device &&
            existing.identity.file == source.file)
            return QStringLiteral("is %1 itself: give the name of a PNG file to write")
                .arg(source.what);
        if (png && (there.dwFileAttributes & FILE_ATTRIBUTE_READONLY))
            return QStringLiteral("is write-protected, so it is left as it is: make it writable, "
                                  "or give the name of a new file");
        if (!png)
            return QStringLiteral("exists and is not a PNG image, so it is left as it is: give "
                                  "the name of a new file, or of a PNG image to replace");
    }

    const QString folder = QFileInfo(QString::fromUtf8(path)).absolutePath();
    const std::wstring temporary =
        QDir::toNativeSeparators(
            folder +
            QStringLiteral("/.tessora-png-%1").arg(QRandomGenerator::system()->generate(), 0, 16))
            .toStdWString();
    HANDLE h = ::CreateFileW(temporary.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return cannot(lastError());
    // Deleted when its handle closes, as it does when the program is killed, until it is complete.
    FILE_DISPOSITION_INFO dispose = {TRUE};
    ::SetFileInformationByHandle(h, FileDispositionInfo, &dispose, sizeof dispose);
    DWORD done = 0;
    dispose.DeleteFile = FALSE;
    const bool written =
        ::WriteFile(h, bytes.constData(), DWORD(bytes.size()), &done, nullptr) &&
        done == DWORD(bytes.size()) && ::FlushFileBuffers(h) &&
        ::SetFileInformationByHandle(h, FileDispositionInfo, &dispose, sizeof dispose);
    const QString writeError = written ? QString() : lastError();
    const bool closed = ::CloseHandle(h);
    const bool placed =
        written && closed &&
        (exists ? ::ReplaceFileW(target.c_str(), temporary.c_str(), nullptr,
                                 REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
                : ::MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH));
    if (!placed) {
        const QString error = written ? lastError() : writeError;
        ::DeleteFileW(temporary.c_str());
        return cannot(error);
    }
    return {};
}

} // namespace pngfile
