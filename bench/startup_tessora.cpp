// Tessora's start, as src/app/main.cpp does it, reporting when the window is painted.
#include "startupprobe.h"

#include "mainwindow/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    fonttable::Folder folder = fonttable::Folder::ofProgram(argv[0]);
    QApplication app(argc, argv);
    MainWindow window(std::move(folder));
    startupprobe::reportWhenPainted(&window);
    window.show();
    return app.exec();
}
