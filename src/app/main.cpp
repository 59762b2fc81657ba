#include "mainwindow/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    MainWindow window(QCoreApplication::applicationDirPath());
    QObject::connect(&window, &MainWindow::exitRequested, &app, [] { QCoreApplication::exit(0); });
    window.show();
    return app.exec();
}
