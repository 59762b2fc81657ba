// Tessora's start, as src/app/main.cpp does it, reporting when the window is painted.
#include "startupprobe.h"

#include "mainwindow/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    MainWindow window(QCoreApplication::applicationDirPath());
    startupprobe::reportWhenPainted(&window);
    window.show();
    return app.exec();
}
