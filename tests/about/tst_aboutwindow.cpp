#include "about/aboutwindow.h"
#include "mainwindow/mainwindow.h"

#include "support/messagecatcher.h"
#include "support/windowfixture.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <set>

namespace
{

QList<AboutWindow *> openAboutWindows()
{
    QList<AboutWindow *> windows;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *about = qobject_cast<AboutWindow *>(widget); about && about->isVisible())
            windows << about;
    return windows;
}

} // namespace

class TestAboutWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_f = std::make_unique<testsupport::WindowFixture>(); }
    void cleanup() { m_f.reset(); }

    void usageNoteKeepsItsBlanksAndBreaks();
    void layoutFollowsTheDesign();
    void aboutTwiceShowsOneWindow();
    void closingDestroysTheWindow_data();
    void closingDestroysTheWindow();
    void mainWindowStaysUsable();
    void picturesAreBuiltIn();
    void exitClosesAbout();
    void programRunsUntilTheLastWindowCloses();

private:
    AboutWindow *openAbout()
    {
        m_f->choose("About");
        const QList<AboutWindow *> windows = openAboutWindows();
        return windows.size() == 1 ? windows.front() : nullptr;
    }

    std::unique_ptr<testsupport::WindowFixture> m_f;
};

void TestAboutWindow::usageNoteKeepsItsBlanksAndBreaks()
{
    AboutWindow *about = openAbout();
    QVERIFY(about);
    const QString note = about->findChild<QLabel *>("lblDescription")->text();
    QCOMPARE(note, AboutWindow::usageNote());
    QCOMPARE(note.size(), 466);
    QVERIFY(note.startsWith(QLatin1String("How to use :")));
    QCOMPARE(note.mid(12, 94), QString(93, QLatin1Char(' ')) + QLatin1Char('1'));
    QCOMPARE(note.indexOf(QLatin1String("\r\n")), 158);
    QCOMPARE(note.indexOf(QLatin1String("\r\n"), 160), 306);
    QCOMPARE(note.count(QLatin1Char('\r')), 2);
    QCOMPARE(note.count(QLatin1Char('\n')), 2);
    QCOMPARE(note.mid(384, 21),
             QLatin1Char('l') + QString(19, QLatin1Char(' ')) + QLatin1Char('U'));
    QVERIFY(note.endsWith(QLatin1String("There are a lot of bugs in it!")));
}

void TestAboutWindow::layoutFollowsTheDesign()
{
    AboutWindow *about = openAbout();
    QVERIFY(about);
    QCOMPARE(about->windowTitle(), QStringLiteral("About"));
    QCOMPARE(about->size(), QSize(403, 239));
    QCOMPARE(about->minimumSize(), about->maximumSize());
    QCOMPARE(about->windowType(), Qt::Tool); // kept out of the task bar
    QVERIFY(!(about->windowFlags() & Qt::WindowMinMaxButtonsHint));
    QVERIFY(!about->parentWidget());
    QVERIFY(!about->isModal());

    QCOMPARE(about->findChild<QWidget *>("Image1")->geometry(), QRect(24, 24, 32, 32));
    QCOMPARE(about->findChild<QWidget *>("Label3")->geometry(), QRect(80, 24, 267, 15));
    QCOMPARE(about->findChild<QWidget *>("lblDescription")->geometry(), QRect(14, 75, 371, 86));
    QCOMPARE(about->findChild<QWidget *>("Label1")->geometry(), QRect(72, 176, 267, 15));
    auto *ok = about->findChild<QPushButton *>("cmdOK");
    QCOMPARE(ok->geometry(), QRect(160, 200, 84, 23));
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QVERIFY(ok->isDefault());
    QCOMPARE(about->findChild<QLabel *>("Label3")->text(),
             QStringLiteral("Tessora for Romance of the Three Kingdoms XI"));
    QVERIFY(about->findChild<QLabel *>("Label2")->text().contains(QLatin1String("2.0")));
}

void TestAboutWindow::aboutTwiceShowsOneWindow()
{
    AboutWindow *first = openAbout();
    QVERIFY(first);
    m_f->choose("About");
    QCOMPARE(openAboutWindows(), QList<AboutWindow *>{first});
}

void TestAboutWindow::closingDestroysTheWindow_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("OK") << "ok";
    QTest::newRow("Enter") << "enter";
    QTest::newRow("Esc") << "esc";
    QTest::newRow("title-bar close") << "close";
}

void TestAboutWindow::closingDestroysTheWindow()
{
    QFETCH(QString, how);
    QPointer<AboutWindow> about = openAbout();
    QVERIFY(about);
    QVERIFY(QTest::qWaitForWindowActive(about));
    if (how == QLatin1String("ok"))
        QTest::mouseClick(about->findChild<QPushButton *>("cmdOK"), Qt::LeftButton);
    else if (how == QLatin1String("enter"))
        QTest::keyClick(about, Qt::Key_Return);
    else if (how == QLatin1String("esc"))
        QTest::keyClick(about, Qt::Key_Escape);
    else
        about->close();
    QTRY_VERIFY(about.isNull());
    QVERIFY(m_f->window()->isVisible());

    // The next About builds the window anew.
    QVERIFY(openAbout());
}

void TestAboutWindow::mainWindowStaysUsable()
{
    QVERIFY(openAbout());
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(m_f->window()->isEnabled());
    testsupport::MessageCatcher messages;
    m_f->choose("Read"); // no archive: the main window answers with its message
    QCOMPARE(messages.messages().size(), 1);
    QVERIFY(openAboutWindows().size() == 1);
}

void TestAboutWindow::picturesAreBuiltIn()
{
    const QImage icon(QStringLiteral(":/resources/tessora.xpm"));
    QCOMPARE(icon.size(), QSize(16, 16));
    QVERIFY(m_f->window()->windowIcon().availableSizes().contains(QSize(16, 16)));

    const QImage eyedropper(QStringLiteral(":/resources/eyedropper.xpm"));
    QCOMPARE(eyedropper.size(), QSize(26, 26));
    QVERIFY(eyedropper.hasAlphaChannel());
    QCOMPARE(qAlpha(eyedropper.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(eyedropper.pixel(25, 25)), 0);
    // Black outline round a white tube, running from lower left to upper right.
    std::set<QRgb> opaque;
    for (int y = 0; y < 26; ++y)
        for (int x = 0; x < 26; ++x)
            if (qAlpha(eyedropper.pixel(x, y)) != 0)
                opaque.insert(eyedropper.pixel(x, y));
    QCOMPARE(opaque, (std::set<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)}));
    QVERIFY(qAlpha(eyedropper.pixel(1, 24)) != 0);
    QVERIFY(qAlpha(eyedropper.pixel(20, 5)) != 0);
    QCOMPARE(qAlpha(eyedropper.pixel(1, 5)), 0);
    QVERIFY(!m_f->control<QPushButton>("PickColor")->icon().isNull());

    const QImage picture(QStringLiteral(":/resources/about.xpm"));
    QCOMPARE(picture.size(), QSize(32, 32));
    std::set<QRgb> colours;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            colours.insert(picture.pixel(x, y));
    QVERIFY(colours.size() <= 256);
    AboutWindow *about = openAbout();
    QVERIFY(about);
    QCOMPARE(about->findChild<QLabel *>("Image1")->pixmap().size(), QSize(32, 32));
}

void TestAboutWindow::exitClosesAbout()
{
    QPointer<AboutWindow> about = openAbout();
    QVERIFY(about);
    QSignalSpy exit(m_f->window(), &MainWindow::exitRequested);
    m_f->choose("Exit");
    QCOMPARE(exit.count(), 1);
    QTRY_VERIFY(about.isNull());
}

void TestAboutWindow::programRunsUntilTheLastWindowCloses()
{
    QPointer<AboutWindow> about = openAbout();
    QVERIFY(about);
    bool mainClosedFirst = false;
    bool aboutClosedLater = false;
    bool gaveUp = false;
    QTimer::singleShot(0, this, [&] {
        m_f->window()->close();
        mainClosedFirst = !m_f->window()->isVisible();
        QTimer::singleShot(200, this, [&] {
            aboutClosedLater = true;
            about->close();
        });
    });
    QTimer::singleShot(5000, this, [&] {
        gaveUp = true;
        QCoreApplication::quit();
    });
    // The event loop runs until the program would end.
    QApplication::exec();
    QVERIFY(mainClosedFirst);
    QVERIFY2(aboutClosedLater, "the program ended while the About window was still open");
    QVERIFY2(!gaveUp, "the program did not end when its last window closed");
}

QTEST_MAIN(TestAboutWindow)
#include "tst_aboutwindow.moc"
