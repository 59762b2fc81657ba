// Creates a demo archive for trying Tessora without the game: a sparse file just long enough to
// hold the font table, whose table shows the printable characters from the space on, light on
// dark. It goes into the given folder unless Tessora would find an archive there already; an
// existing file is never touched.

#include "fonttable/fontrender.h"
#include "fonttable/resourcefile.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <csignal>
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
    // Sized, then written as Tessora saves, so that the demo is read back like a real archive.
    // Past a size limit the sizing fails rather than ending the program with the file half made.
    std::signal(SIGXFSZ, SIG_IGN);
    int error = ::ftruncate(fd, MinimumArchiveSize) == 0 ? 0 : errno;
    ::close(fd);
    if (!error) {
        ReadResult read = readBlock(folder);
        const Failure failure =
            read.ok() ? writeBlock(folder, read.archive, demoFont()).failure : read.failure;
        error = failure.what == Failure::None ? 0 : failure.error ? failure.error : EIO;
    }
    if (error) {
        ::unlinkat(folder.fd(), ResourceName, 0);
        std::fprintf(stderr, "makedemo: cannot write the demo font into %s: %s\n", qPrintable(path),
                     std::strerror(error));
        return 1;
    }
    std::printf("Created the demo archive %s.\n", qPrintable(path));
    return 0;
}
