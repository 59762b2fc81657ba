#include "mainwindow/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Taken before Qt sees the arguments: the folder the program was started from.
    fonttable::Folder folder = fonttable::Folder::ofProgram(argv[0]);
    QApplication app(argc, argv);
    MainWindow window(std::move(folder));
    QObject::connect(&window, &MainWindow::exitRequested, &app, [] { QCoreApplication::exit(0); });
    window.show();
    return app.exec();
}
