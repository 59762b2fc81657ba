#include "mainwindow/mainwindow.h"

#include <QApplication>
#include <QFileInfo>

#include <algorithm>

#include <cstdio>
#include <cstring>

#ifdef Q_OS_WIN
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace
{

// What Tessora works on, and how to point it at a game, for one started with arguments.
QByteArray usage(const fonttable::Folder &folder, const char *argv0)
{
    const QByteArray archive = fonttable::displayPath(folder, fonttable::ResourceName).toUtf8();
#ifdef Q_OS_WIN
    Q_UNUSED(argv0);
    const QByteArray how = "copy Tessora.exe into the folder that holds the game's san11res.bin "
                           "and start it there";
#else
    const QByteArray program = QFileInfo(QFile::decodeName(argv0)).absoluteFilePath().toUtf8();
    const QByteArray how = "copy or link the program into the folder that holds the game's "
                           "san11res.bin and start it there, as in: ln -s " +
                           program + " /path/to/game/";
#endif
    return "Tessora takes no arguments: it edits san11res.bin in its own folder (" + archive +
           "). To edit another game's, " + how;
}

} // namespace

int main(int argc, char *argv[])
{
    // Taken before Qt sees the arguments: the folder the program was started from.
    fonttable::Folder folder = fonttable::Folder::ofProgram(argv[0]);
    // Qt's own options, with their values, are Qt's; anything else is answered, without a
    // window, so that a path given is not ignored without a word.
    const char *const qtOptions[] = {"-platform", "-display", "-style", "-qwindowgeometry"};
    QByteArray answer;
    int status = 0;
    for (int i = 1; i < argc && answer.isEmpty(); ++i) {
        if (std::any_of(std::begin(qtOptions), std::end(qtOptions),
                        [&](const char *option) { return std::strcmp(argv[i], option) == 0; }))
            ++i;
        else if (std::strcmp(argv[i], "--version") == 0)
            answer = "Tessora " TESSORA_VERSION;
        else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            answer = usage(folder, argv[0]);
        else
            answer = usage(folder, argv[0]), status = 2;
    }
    if (!answer.isEmpty()) {
#ifdef Q_OS_WIN
        // A program with windows has no console of its own: the one it was started from.
        if (::AttachConsole(ATTACH_PARENT_PROCESS)) {
            std::freopen("CONOUT$", "w", stdout);
            std::freopen("CONOUT$", "w", stderr);
        }
#endif
        std::fprintf(status ? stderr : stdout, "%s\n", answer.constData());
        return status;
    }
    QApplication app(argc, argv);
    MainWindow window(std::move(folder));
    QObject::connect(&window, &MainWindow::exitRequested, &app, [] { QCoreApplication::exit(0); });
    window.show();
    return app.exec();
}
