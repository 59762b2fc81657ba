// The archive's folder on POSIX systems: held open by its descriptor for the whole run.

#include "fonttable/resourcefile.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fonttable
{

Folder::Folder(const QByteArray &path)
    : m_handle(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
{
    m_error = m_handle < 0 ? errno : 0;
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
    return m_handle >= 0 && (::fstat(int(m_handle), &opened) != 0 || opened.st_nlink == 0 ||
                             ::stat(m_path.constData(), &there) != 0 ||
                             opened.st_dev != there.st_dev || opened.st_ino != there.st_ino);
}

Folder::~Folder()
{
    if (m_handle >= 0)
        ::close(int(m_handle));
}

Folder::Folder(Folder &&other) noexcept
    : m_handle(std::exchange(other.m_handle, InvalidHandle)), m_path(std::move(other.m_path)),
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

} // namespace fonttable
