#include "fonttable/resourcefile.h"

#include "fonttable/archiveio_p.h"

#include <QDir>
#include <QFile>

namespace fonttable
{

namespace
{

struct Transfer {
    qint64 done = 0;
    int error = 0; // of the failed call, or 0 when the call moved no bytes
};

// Reads or writes count bytes of the block, going on after partial transfers.
template <typename Call, typename Buffer>
Transfer transferBlock(const Call &call, const io::File &file, Buffer *buffer,
                       qint64 count = TableSize)
{
    Transfer t;
    while (t.done < count) {
        const qint64 n = call(file, buffer + t.done, count - t.done, TableOffset + t.done, t.error);
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
    f.cause = error ? io::causeOf(error, path) : Failure::Other;
    return f;
}

Failure transferFailure(Failure::What what, const QString &path, const Transfer &t)
{
    Failure f = failed(what, path, t.error);
    f.done = t.done;
    f.expected = TableSize;
    return f;
}

Failure notRegular(const QString &path, const io::Info &info)
{
    Failure f = failed(Failure::NotRegular, path);
    f.folder = info.folder;
    return f;
}

// Why no file of that name is there: a link to one that is not (the drive that holds it is not
// mounted, say), the folder itself gone, or nothing by that name.
Failure missing(const Folder &folder, const QByteArray &name, Failure::What otherwise)
{
    const QString path = displayPath(folder, name);
    if (const QString target = io::linkTarget(folder, name); !target.isEmpty()) {
        Failure f = failed(Failure::BrokenLink, path);
        f.paths << target;
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
    const QList<QByteArray> names = QList<QByteArray>{ResourceName} + io::otherSpellings(folder);
    QList<QByteArray> regular;
    Failure problem;
    for (const QByteArray &name : names) {
        io::Info info;
        if (io::lookUp(folder, name, info) != 0)
            continue;
        if (info.regular)
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

// Why the open archive cannot be saved over as it is now, if it cannot.
std::optional<Failure> changedSince(const QString &path, const io::File &file, const io::Info &info,
                                    const Archive &archive)
{
    if (!info.regular)
        return notRegular(path, info);
    if (!io::sameFile(file, info, archive))
        return failed(Failure::Replaced, path);
    if (info.size != archive.size) {
        Failure f = failed(Failure::Resized, path);
        f.size = info.size;
        f.expected = archive.size;
        return f;
    }
    return {};
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

    if (access == Access::ToSave) {
        if (const int error = io::checkWritable(calls, folder, name))
            return io::notFound(error) ? false : fail(Failure::NotWritable, error);
    }
    io::File file(calls);
    if (const int error = io::openForReading(folder, name, file))
        return io::notFound(error) ? false : fail(Failure::OpenFailed, error);
    io::Info info;
    if (const int error = io::describe(file, info))
        return fail(Failure::CheckFailed, error);
    if (!info.regular)
        return false;
    if (info.size < MinimumArchiveSize) {
        fail(Failure::TooShort);
        result.failure.size = info.size;
        result.failure.expected = MinimumArchiveSize;
        return true;
    }

    Archive &archive = result.archive;
    const Transfer read = transferBlock(io::read, file, archive.base.data());
    if (read.done < TableSize) {
        result.failure = transferFailure(Failure::ReadFailed, displayPath(folder, name), read);
        return true;
    }
    archive.name = name;
    archive.device = info.device;
    archive.file = info.file;
    archive.size = info.size;
    return true;
}

} // namespace

QString displayPath(const Folder &folder, const QByteArray &name)
{
#ifdef Q_OS_WIN
    return QDir::toNativeSeparators(QDir(folder.display()).filePath(QString::fromUtf8(name)));
#else
    return QDir(folder.display()).filePath(QFile::decodeName(name));
#endif
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
    io::Info info;
    result.failure = io::lookUp(folder, name, info) == 0
                         ? notRegular(displayPath(folder, name), info)
                         : missing(folder, name, Failure::NotFound);
    return result;
}

WriteResult writeBlock(const Folder &folder, Archive &archive, const FontTable &table,
                       const FileCalls &calls)
{
    WriteResult result;
    const QString path = displayPath(folder, archive.name);
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
    io::Info info;
    if (const int error = io::lookUp(folder, archive.name, info))
        return refuse(io::notFound(error) ? missing(folder, archive.name, Failure::Gone)
                                          : failed(Failure::CheckFailed, path, error));
    if (!info.regular)
        return refuse(notRegular(path, info));

    io::File file(calls);
    if (const int error = io::openForWriting(folder, archive.name, file)) {
        Failure f = io::notFound(error) ? missing(folder, archive.name, Failure::Gone)
                                        : failed(Failure::OpenFailed, path, error);
        f.writing = true;
        return refuse(f);
    }
    if (const int error = io::describe(file, info))
        return refuse(failed(Failure::CheckFailed, path, error));
    if (const auto changed = changedSince(path, file, info, archive))
        return refuse(*changed);

    // One writer at a time: a second Tessora saving the same archive at the same moment is
    // refused instead of mixing its bytes in, and is told afterwards that the table changed.
    if (const int error = io::lock(file))
        return refuse(failed(Failure::Locked, path, error));

    // Compared as the disk holds it: another program, or another name of the same file, may have
    // changed it behind the cache.
    FontTable current;
    // The length was right a moment ago: a short read means another program has just cut it.
    if (const int error = io::readFromDisk(folder, archive.name, file, current))
        return refuse(error > 0 ? failed(Failure::ReadFailed, path, error)
                                : failed(Failure::LengthChanged, path));
    if (!untouchedSince(current, archive))
        return refuse(failed(Failure::Changed, path));

    // Space first: filling a hole of a sparse archive needs new blocks, and a disk that has none
    // must refuse before a byte is written.
    if (const int error = io::reserve(file))
        return refuse(failed(Failure::NoRoom, path, error));

    const Transfer written = transferBlock(io::write, file, table.data());
    if (written.done < TableSize) {
        const Failure f = transferFailure(Failure::WriteFailed, path, written);
        if (written.done == 0)
            return refuse(f);
        if (transferBlock(io::write, file, archive.base.data(), written.done).done == written.done)
            return refuse(f, Failure::PutBack);
        archive.attempted = table;
        return refuse(f, Failure::Partly);
    }
    // From here on the block holds the table, or what is left of it if the disk lets it down.
    archive.attempted = table;

    if (const int error = io::flush(file)) {
        io::dropCache(file);
        return fail(Failure::FlushFailed, error);
    }

    FontTable onDisk;
    if (const int error = io::readFromDisk(folder, archive.name, file, onDisk))
        return fail(Failure::ReadBackFailed, std::max(error, 0));
    if (onDisk != table)
        return fail(Failure::ReadBackDiffers);
    archive.base = table;
    archive.attempted.reset();

    // Another program may have cut the file short between the checks and the write, which then
    // grew it back; that is never passed over in silence.
    if (io::describe(file, info) != 0 || !info.regular || info.size != archive.size)
        return fail(Failure::LengthChanged);
    archive.file = info.file; // where file numbers are made up, the one it has now

    if (const int error = io::close(file))
        return fail(Failure::CloseFailed, error);
    return result;
}

} // namespace fonttable
