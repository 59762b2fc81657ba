#include "mainwindow/mainwindow.h"

#include <QTest>

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void placeholder() {}
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
