#pragma once

// Paths and sharing as the archive's Win32 files open them.

#include <QDir>
#include <QString>

#include <string>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#include <windows.h>

namespace fonttable
{

inline constexpr unsigned long ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A full path in the form that takes any length: \\?\C:\... or \\?\UNC\server\share\....
inline std::wstring longPath(const QString &path)
{
    const QString native = QDir::toNativeSeparators(QDir::cleanPath(path));
    QString prefixed = native.startsWith(QLatin1String("\\\\"))
                           ? QLatin1String("\\\\?\\UNC\\") + native.mid(2)
                           : QLatin1String("\\\\?\\") + native;
    return prefixed.toStdWString();
}

} // namespace fonttable
