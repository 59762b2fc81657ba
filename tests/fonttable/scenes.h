#pragma once

// What becomes of the archive between a Read and the command under test: another program moves,
// changes, locks or holds it.

#include "fonttable/fonttable.h"
#include "support/support.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTest>

#include <filesystem>
#include <functional>

#ifdef Q_OS_WIN
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <shellapi.h>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace testsupport
{

#ifdef Q_OS_WIN

inline std::wstring wide(const QByteArray &path)
{
    return QString::fromUtf8(path).toStdWString();
}

// Another program, as the game may be: opens the file named last on the command line sharing it
// only with readers (--unshared), or locks its block (--lock-block); says so, and holds on until
// its input ends.
inline int holdFile()
{
    int argc = 0;
    wchar_t **argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    const bool lock = std::wstring(argv[argc - 2]) == L"--lock-block";
    HANDLE file = ::CreateFileW(argv[argc - 1], GENERIC_READ | (lock ? GENERIC_WRITE : 0),
                                FILE_SHARE_READ | (lock ? FILE_SHARE_WRITE : 0), nullptr,
                                OPEN_EXISTING, 0, nullptr);
    OVERLAPPED at = {};
    at.Offset = DWORD(fonttable::TableOffset);
    if (file == INVALID_HANDLE_VALUE ||
        (lock && !::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                               fonttable::TableSize, 0, &at)))
        return 1;
    std::puts("holding");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
}

#endif

inline std::filesystem::path native(const QByteArray &path)
{
#ifdef Q_OS_WIN
    return QString::fromUtf8(path).toStdWString();
#else
    return path.constData();
#endif
}

struct Scene {
    const QString file;
    const QByteArray path;
    bool ok = true;
#ifdef Q_OS_WIN
    HANDLE other = INVALID_HANDLE_VALUE;
    QProcess holder;
    QByteArray programFiles = qgetenv("ProgramFiles");
#else
    int other = -1, leased = -1;
#endif

    Scene(const QString &file, const QByteArray &dir, const QByteArray &path,
          const std::function<void(const QByteArray &)> &create)
        : file(file), path(path)
    {
        namespace fs = std::filesystem;
        std::error_code e;
        if (file == "removed" || file == "folder" || file == "fifo" || file == "dangling" ||
            file == "deleted")
            ok = fs::remove(native(path), e);
        if (file == "deleted") { // and made anew at the same place
            ok = ok && fs::remove(native(dir), e) && fs::create_directory(native(dir), e);
            create(path);
        }
        ok = ok && (file != "folder" || fs::create_directory(native(path), e));
        if (file == "replaced") { // as an updater does it
            create(dir + "/new");
            fs::rename(native(dir + "/new"), native(path), e);
        }
        if (file == "short" || file == "grown")
            fs::resize_file(native(path),
                            fonttable::MinimumArchiveSize + (file == "short" ? -1 : 5001), e);
        ok = ok && !e;
#ifdef Q_OS_WIN
        if (file == "read-only")
            ok = ::SetFileAttributesW(wide(path).c_str(), FILE_ATTRIBUTE_READONLY);
        if (file == "program files") // the folder that holds the test's folder, as Windows' own
            qputenv("ProgramFiles",
                    QString::fromUtf8(dir.left(dir.lastIndexOf('/'))).replace('/', '\\').toUtf8());
#else
        ok = ok && (file != "dangling" || ::symlink("/nowhere/san11res.bin", path) == 0);
        ok = ok && (file != "fifo" || ::mkfifo(path, 0644) == 0);
        ok = ok && (file != "read-only" || ::chmod(path, 0444) == 0);
#endif
    }

    // Another program's handles on the archive, and its changes, after the Read.
    void hold()
    {
        const bool locked = file == "locked" || file == "read-locked";
        if (file == "changed")
            ok = ok && writeAt(path, fonttable::TableOffset + fonttable::TableSize - 1, "!");
#ifdef Q_OS_WIN
        if (locked)
            other = ::CreateFileW(wide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
        ok = ok && (other != INVALID_HANDLE_VALUE || !locked);
        OVERLAPPED at = {};
        at.Offset = DWORD(fonttable::TableOffset);
        if (locked)
            ok = ok && ::LockFileEx(other, file == "locked" ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0,
                                    fonttable::TableSize, 0, &at);
        if (file == "locked elsewhere" || file == "unshared") {
            holder.start(QCoreApplication::applicationFilePath(),
                         {file == "locked elsewhere" ? "--lock-block" : "--unshared",
                          QString::fromUtf8(path)});
            ok = holder.waitForReadyRead(30'000) && holder.readAll().startsWith("holding");
        }
#else
        std::signal(SIGIO, SIG_IGN); // what a lease's holder is sent when another opens the file
        other = locked ? ::open(path, O_RDWR) : -1;
        struct flock lock = {short(file == "locked" ? F_WRLCK : F_RDLCK), SEEK_SET,
                             fonttable::TableOffset, fonttable::TableSize, 0};
        ok = ok && (!locked || ::fcntl(other, F_OFD_SETLK, &lock) == 0);
        leased = file == "leased" ? ::open(path, O_RDONLY) : -1;
        ok = ok && (file != "leased" || ::fcntl(leased, F_SETLEASE, F_RDLCK) == 0);
        const rlimit limited = {1 << 20, RLIM_INFINITY};
        ok = ok && (file != "limited" || ::setrlimit(RLIMIT_FSIZE, &limited) == 0);
#endif
    }

    void end()
    {
#ifdef Q_OS_WIN
        if (other != INVALID_HANDLE_VALUE)
            ::CloseHandle(std::exchange(other, INVALID_HANDLE_VALUE));
        if (holder.state() != QProcess::NotRunning) {
            holder.closeWriteChannel();
            holder.waitForFinished(30'000);
        }
        if (file == "read-only")
            ::SetFileAttributesW(wide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
        qputenv("ProgramFiles", programFiles);
#else
        const rlimit unlimited = {RLIM_INFINITY, RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
        ::close(other);
        ::close(leased);
#endif
    }
};

} // namespace testsupport
