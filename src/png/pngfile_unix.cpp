#include "png/pngfile.h"

#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pngfile
{

Opened openForReading(const QByteArray &path, const char *what)
{
    Opened opened;
    struct stat info;
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        opened.problem = QString::fromLocal8Bit(std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return opened;
    }
    opened.identity = {quint64(info.st_dev), quint64(info.st_ino), nullptr};
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        opened.problem =
            QStringLiteral("is not a regular file, so not %1").arg(QLatin1StringView(what));
        return opened;
    }
    opened.file = ::fdopen(fd, "rb");
    if (!opened.file) {
        opened.problem = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
    }
    return opened;
}

QString replaceWith(const QByteArray &bytes, const QByteArray &path, const Source &source)
{
    struct stat there;
    QByteArray target = path;
    std::optional<mode_t> mode; // an existing file's, kept
    struct stat owner = {};
    if (::stat(path.constData(), &there) == 0) {
        if (S_ISDIR(there.st_mode))
            return QStringLiteral("is a folder: give the name of a PNG file to write");
        if (!S_ISREG(there.st_mode))
            return QStringLiteral("is not a regular file (a device, a pipe or a socket): give the "
                                  "name of a PNG file to write");
        if (source.what && quint64(there.st_dev) == source.device &&
            quint64(there.st_ino) == source.file)
            return QStringLiteral("is %1 itself: give the name of a PNG file to write")
                .arg(source.what);
        const Opened existing = openForReading(path);
        if (!existing.file)
            return QStringLiteral("cannot read it (%1), so it is left as it is: give the name of "
                                  "a new file, or of a PNG image you may replace")
                .arg(existing.problem);
        const bool png = isPng(existing.file);
        std::fclose(existing.file);
        if (png && ::faccessat(AT_FDCWD, path.constData(), W_OK, AT_EACCESS) != 0)
            return QStringLiteral("is write-protected, so it is left as it is: make it writable, "
                                  "or give the name of a new file");
        if (!png)
            return QStringLiteral("exists and is not a PNG image, so it is left as it is: give "
                                  "the name of a new file, or of a PNG image to replace");
        // Replaced where it lies, when the name is a link to it.
        char *resolved = ::realpath(path.constData(), nullptr);
        target = resolved ? QByteArray(resolved) : path;
        std::free(resolved);
        mode = there.st_mode & 07777;
        owner = there;
    } else if (errno != ENOENT) {
        return QStringLiteral("cannot look at it (%1): check the path")
            .arg(QString::fromLocal8Bit(std::strerror(errno)));
    } else if (::lstat(path.constData(), &there) == 0) {
        return QStringLiteral("is a link to a file that does not exist: give the name of a new "
                              "file, or of a PNG image to replace");
    }

    // Written whole into a file of no name in the target's folder, which is named only once it
    // is complete, so that a killed run leaves nothing behind; where the file system has no such
    // files, under a temporary name beside the target. Either then takes the target's place.
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folderPath = slash > 0 ? target.left(slash) : slash == 0 ? "/" : ".";
    const QByteArray temporary = target.left(slash + 1) + ".tessora-png-" +
                                 QByteArray::number(QRandomGenerator::system()->generate(), 16);
    auto cannot = [](int error) {
        return QStringLiteral("cannot write it (%1): check the folder and the disk, or give "
                              "another name")
            .arg(QString::fromLocal8Bit(std::strerror(error)));
    };
    auto write = [&](int fd) {
        qsizetype done = 0;
        errno = 0;
        for (ssize_t n = 1; done < bytes.size() && n > 0; done += std::max<ssize_t>(n, 0))
            n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        // A write that moved nothing without an error means the disk or a limit is full.
        const int error = done < bytes.size() && errno == 0 ? ENOSPC : errno;
        // As root, a replaced image keeps its owner.
        const bool written =
            done == bytes.size() &&
            (!mode || (::fchmod(fd, *mode) == 0 &&
                       (::geteuid() != 0 || ::fchown(fd, owner.st_uid, owner.st_gid) == 0))) &&
            ::fsync(fd) == 0;
        return written ? 0 : error ? error : errno;
    };
    int fd = ::open(folderPath.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0) {
        int error = write(fd);
        // A new file is named at once, and never over one that appeared meanwhile.
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
        const QByteArray name = mode ? temporary : target;
        if (error == 0 &&
            ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) !=
                0 &&
            ::linkat(fd, "", AT_FDCWD, name.constData(), AT_EMPTY_PATH) != 0)
            error = errno;
        if (::close(fd) != 0 && error == 0)
            error = errno;
        if (error == 0 && mode && ::rename(temporary.constData(), target.constData()) != 0) {
            error = errno;
            ::unlink(temporary.constData());
        }
        if (error != 0)
            return cannot(error);
    } else {
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0)
            return cannot(errno);
        int error = write(fd);
        if (::close(fd) != 0 && error == 0)
            error = errno;
        if (error == 0 && ::rename(temporary.constData(), target.constData()) != 0)
            error = errno;
        if (error != 0) {
            ::unlink(temporary.constData());
            return cannot(error);
        }
    }
    // The new name lasts through a crash only once the folder is on the disk too.
    if (const int folder = ::open(folderPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return {};
}

} // namespace pngfile
