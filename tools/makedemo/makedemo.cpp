// Creates a demo archive for trying Tessora without the game: a sparse file just long enough to
// hold the font table, whose table shows the printable characters from the space on, light on
// dark. It goes into the given folder unless Tessora would find an archive there already; an
// existing file is never touched.

#include "fontrender/fontrender.h"
#include "fonttable/resourcefile.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <csignal>
#include <cstdio>

#ifdef Q_OS_WIN
#define WIN32_LEAN_AND_MEAN
#include <io.h>
#include <windows.h>
#include <winioctl.h>
#endif

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
#ifndef Q_OS_WIN // where Windows' own platform draws without a window
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: makedemo FOLDER\n");
        return 2;
    }
#ifdef Q_OS_WIN
    const Folder folder(QCoreApplication::arguments().value(1).toUtf8());
#else
    const Folder folder(argv[1]);
#endif
    const QString path = displayPath(folder, ResourceName);
    // Name filters ignore case: an archive in any spelling counts.
    const QStringList present =
        QDir(folder.display()).entryList({ResourceName}, QDir::AllEntries | QDir::System);
    if (!present.isEmpty()) {
        std::printf(
            "%s is there already; left as it is.\n",
            qPrintable(QDir::toNativeSeparators(QDir(folder.display()).filePath(present.front()))));
        return 0;
    }

    // Sized, then written as Tessora saves, so that the demo is read back like a real archive.
    const QString file = QDir(folder.display()).filePath(QLatin1String(ResourceName));
    QFile archive(file);
    if (!archive.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        std::fprintf(stderr, "makedemo: cannot create %s: %s\n", qPrintable(path),
                     qPrintable(archive.errorString()));
        return 1;
    }
#ifdef Q_OS_WIN
    // Sparse, as on Linux: the 500 MB before the font table take no room on the disk.
    DWORD returned = 0;
    ::DeviceIoControl(reinterpret_cast<HANDLE>(_get_osfhandle(archive.handle())), FSCTL_SET_SPARSE,
                      nullptr, 0, nullptr, 0, &returned, nullptr);
#else
    // Past a size limit the sizing fails rather than ending the program with the file half made.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QString error = archive.resize(MinimumArchiveSize) ? QString() : archive.errorString();
    archive.close();
    if (error.isEmpty()) {
        ReadResult read = readBlock(folder);
        const Failure failure =
            read.ok() ? writeBlock(folder, read.archive, demoFont()).failure : read.failure;
        if (failure.what != Failure::None)
            error = failure.error ? systemErrorText(failure.error)
                                  : QStringLiteral("the font table did not arrive whole");
    }
    if (!error.isEmpty()) {
        QFile::remove(file);
        std::fprintf(stderr, "makedemo: cannot write the demo font into %s: %s\n", qPrintable(path),
                     qPrintable(error));
        return 1;
    }
    std::printf("Created the demo archive %s.\n", qPrintable(path));
    return 0;
}
