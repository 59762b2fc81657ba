#pragma once

#include "about/aboutwindow.h"
#include "mainwindow/mainwindow.h"
#include "mainwindow/messages.h"
#include "mainwindow/previewwindow.h"
#include "views/glyphtableview.h"
#include "views/pixeleditor.h"
#include "views/textpreview.h"

#include "support/support.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QBackingStore>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace testsupport;

namespace testsupport
{

inline QList<AboutWindow *> aboutWindows()
{
    QList<AboutWindow *> open;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *about = qobject_cast<AboutWindow *>(widget); about && about->isVisible())
            open << about;
    return open;
}

} // namespace testsupport

// Runs once for each scale factor that CTest sets in QT_SCALE_FACTOR. Input goes to the real
// window; a second FontEditor, on a copy of the archive, is given the operation that the input
// stands for, and the two must agree. The screen must show the window's own state.
class TestMainWindow : public QObject
{
    Q_OBJECT

public:
    TestMainWindow()
    {
        m_answer.callOnTimeout(this, &TestMainWindow::answerMessage);
        m_answer.start(5);
    }

private slots:
    void init();
    void cleanup();
    void fixedTexts();
    void aboutOutlivesTheWindow();
    void refusedSaveKeepsEdits_data();
    void refusedSaveKeepsEdits();
    void preview_data();
    void preview();
    void randomSessions();

private:
    template <typename T = QWidget> T *find(const QString &name) const
    {
        return m_window->findChild<T *>(name);
    }
    int any(int high) { return int(m_random.bounded(high)); }
    void answerMessage();
    void say(const QString &message); // what the user must have seen
    void step();
    void check(const QString &where);

    QTemporaryDir m_dir, m_shadowDir;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<FontEditor> m_shadow;
    std::unique_ptr<QSignalSpy> m_exits;
    GlyphTableView *m_table = nullptr;
    PixelEditor *m_editor = nullptr;
    QTimer m_answer;
    QStringList m_messages, m_said; // the texts of the message boxes shown, and expected
    bool m_plainMessages = true, m_about = false;
    int m_exitsWanted = 0;
    int m_walks = 0;          // into a corner, for every session
    int m_marked[2] = {1, 1}; // the keyboard's marks in the table and the editor
    QRandomGenerator m_random;
};
