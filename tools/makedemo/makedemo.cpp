// Creates a demo archive for trying Tessora without the game: a sparse file just long enough to
// hold the font table, whose table shows the printable characters from the space on, light on
// dark. It goes into the given folder unless Tessora would find an archive there already; an
// existing file is never touched.

#include "fonttable/fontrender.h"
#include "fonttable/resourcefile.h"
#include "mainwindow/storagemessage.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

using namespace fonttable;

namespace
{

FontTable demoFont()
{
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(13);
    font.setStyleStrategy(QFont::PreferAntialias);
    // Each glyph row its own brightness, so the table shows several gray levels besides the
    // antialiased edges.
    return renderFont(font, {255, 224, 192, 255, 224, 192});
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: makedemo FOLDER\n");
        return 2;
    }
    const Folder folder(argv[1]);
    const QString path = displayPath(folder, ResourceName);
    // Name filters ignore case: an archive in any spelling counts.
    const QStringList present =
        QDir(QFile::decodeName(argv[1])).entryList({ResourceName}, QDir::AllEntries | QDir::System);
    if (!present.isEmpty()) {
        std::printf("%s is there already; left as it is.\n",
                    qPrintable(displayPath(folder, QFile::encodeName(present.front()))));
        return 0;
    }

    const int fd =
        ::openat(folder.fd(), ResourceName, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "makedemo: cannot create %s: %s\n", qPrintable(path),
                     std::strerror(errno));
        return 1;
    }
    const bool sized = ::ftruncate(fd, MinimumArchiveSize) == 0;
    const int sizeError = errno;
    ::close(fd);
    ReadResult read = sized ? readBlock(folder) : ReadResult{};
    Failure failure = read.failure;
    if (!sized) {
        failure.what = Failure::WriteFailed;
        failure.path = path;
        failure.error = sizeError;
    } else if (read.ok()) {
        failure = writeBlock(folder, read.archive, demoFont()).failure;
    }
    if (failure.what != Failure::None) {
        ::unlinkat(folder.fd(), ResourceName, 0);
        std::fprintf(stderr, "makedemo: %s\n", qPrintable(storageMessage(failure, true)));
        return 1;
    }
    std::printf("Created the demo archive %s.\n", qPrintable(path));
    return 0;
}
