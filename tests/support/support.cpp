#include "support/support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace fonttable;

namespace testsupport
{

FontTable makeTable(quint32 seed)
{
    FontTable table;
    QRandomGenerator random(seed);
    for (int i = 1; i <= TableSize; ++i)
        table.setByte(i, seed ? quint8(random.bounded(256)) : quint8(i * 37 + i / 256));
    return table;
}

void createArchive(const QByteArray &path, const FontTable &table, qint64 size)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    bool ok = fd >= 0 && ::ftruncate(fd, off_t(size)) == 0;
    const char marker = char(0xA5);
    for (qint64 at : {qint64(0), TableOffset - 1, MinimumArchiveSize, size - 1})
        ok = ok && (at < 0 || at >= size || ::pwrite(fd, &marker, 1, at) == 1);
    if (size >= MinimumArchiveSize)
        ok = ok && ::pwrite(fd, table.data(), TableSize, TableOffset) == TableSize;
    if (fd < 0 || ::close(fd) != 0 || !ok)
        qFatal("cannot create the test archive %s", path.constData());
}

Snapshot Snapshot::of(const QByteArray &path)
{
    Snapshot snapshot;
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK);
    struct stat info;
    if (fd < 0)
        return snapshot;
    snapshot.size = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) ? info.st_size : -2;
    // Holes read as zeros, so only the data extents need reading.
    for (off_t data = 0; snapshot.size > 0 && (data = ::lseek(fd, data, SEEK_DATA)) >= 0;) {
        const off_t hole = ::lseek(fd, data, SEEK_HOLE);
        for (qint64 chunk = data / 4096 * 4096; chunk < hole; chunk += 4096) {
            QByteArray bytes(int(std::min<qint64>(4096, snapshot.size - chunk)), '\0');
            if (::pread(fd, bytes.data(), size_t(bytes.size()), chunk) != bytes.size())
                qFatal("cannot read %s", path.constData());
            if (bytes.count('\0') != bytes.size())
                snapshot.chunks[chunk] = bytes;
        }
        data = hole;
    }
    ::close(fd);
    return snapshot;
}

Snapshot Snapshot::archive(const FontTable &table, qint64 size, qint64 resized)
{
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath("model"));
    createArchive(path, table, size);
    if (resized >= 0 && ::truncate(path.constData(), resized) != 0)
        qFatal("cannot resize the model archive");
    return of(path);
}

MessageCatcher::MessageCatcher()
{
    m_timer.callOnTimeout(this, [this] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        texts << box->text();
        titles << box->windowTitle();
        plain = plain && box->standardButtons() == QMessageBox::Ok &&
                box->icon() == QMessageBox::NoIcon && box->textFormat() == Qt::PlainText;
        box->button(QMessageBox::Ok)->click();
    });
    m_timer.start(5);
}

} // namespace testsupport
