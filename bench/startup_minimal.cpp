// The floor for any Qt Widgets program: an empty window of Tessora's size. With --menu it has a
// menu bar, so it loads fonts to draw text as every program with a caption must.
#include "startupprobe.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    if (QCoreApplication::arguments().contains(QStringLiteral("--menu")))
        window.menuBar()->addMenu(QStringLiteral("File"));
    window.setFixedSize(728, 438);
    startupprobe::reportWhenPainted(&window);
    window.show();
    return app.exec();
}
