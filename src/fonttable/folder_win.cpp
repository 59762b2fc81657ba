// The archive's folder on Windows: held open, shared for everything, for the whole run.

#include "fonttable/resourcefile.h"
#include "fonttable/winpath_p.h"

#include <algorithm>
#include <utility>

namespace fonttable
{

Folder::Folder(const QByteArray &path)
{
    QString absolute =
        QDir::cleanPath(QDir(QDir::currentPath()).absoluteFilePath(QString::fromUtf8(path)));
    m_path = absolute.toUtf8();
    m_display = QDir::toNativeSeparators(absolute);
    // Held open, shared for everything, so that a folder moved or deleted since is noticed.
    HANDLE h = ::CreateFileW(longPath(absolute).c_str(), FILE_READ_ATTRIBUTES, ShareAll, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION info;
    if (h != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(h, &info) &&
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ::CloseHandle(h);
        ::SetLastError(ERROR_DIRECTORY);
        h = INVALID_HANDLE_VALUE;
    }
    m_error = h == INVALID_HANDLE_VALUE ? int(::GetLastError()) : 0;
    m_handle = reinterpret_cast<NativeHandle>(h);
}

bool Folder::gone() const
{
    if (m_handle == InvalidHandle)
        return false;
    BY_HANDLE_FILE_INFORMATION opened, there;
    HANDLE now =
        ::CreateFileW(longPath(QString::fromUtf8(m_path)).c_str(), FILE_READ_ATTRIBUTES, ShareAll,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const bool same = now != INVALID_HANDLE_VALUE &&
                      ::GetFileInformationByHandle(reinterpret_cast<HANDLE>(m_handle), &opened) &&
                      ::GetFileInformationByHandle(now, &there) &&
                      opened.dwVolumeSerialNumber == there.dwVolumeSerialNumber &&
                      opened.nFileIndexHigh == there.nFileIndexHigh &&
                      opened.nFileIndexLow == there.nFileIndexLow;
    if (now != INVALID_HANDLE_VALUE)
        ::CloseHandle(now);
    return !same;
}

Folder::~Folder()
{
    if (m_handle != InvalidHandle)
        ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

Folder::Folder(Folder &&other) noexcept
    : m_handle(std::exchange(other.m_handle, InvalidHandle)), m_path(std::move(other.m_path)),
      m_display(std::move(other.m_display)), m_error(other.m_error)
{
}

Folder Folder::ofProgram(const char *)
{
    std::wstring exe(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, exe.data(), DWORD(exe.size()));
        if (n < exe.size()) {
            exe.resize(n);
            break;
        }
        exe.resize(exe.size() * 2);
    }
    QString path = QString::fromStdWString(exe);
    if (path.startsWith(QLatin1String("\\\\?\\UNC\\")))
        path = QLatin1String("\\\\") + path.mid(8);
    else if (path.startsWith(QLatin1String("\\\\?\\")))
        path = path.mid(4);
    return Folder(path.left(std::max<qsizetype>(0, path.lastIndexOf(QLatin1Char('\\')))).toUtf8());
}

} // namespace fonttable
