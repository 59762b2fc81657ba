#pragma once

#include "fonttable/resourcefile.h"
#include "mainwindow/editorstate.h"

#include <QMainWindow>
#include <QPointer>

class AboutWindow;
class QAction;
class QFrame;
class QLabel;
class QPushButton;
class QScrollBar;
class GlyphTableView;
class PixelEditor;

// The program's one working window: the glyph table, the pixel editor with its pen, the menus,
// and the file commands that move the font table between the archive and EditorState.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // folder holds the archive, normally the program's own.
    explicit MainWindow(fonttable::Folder folder, fonttable::FileCalls fileCalls = {},
                        QWidget *parent = nullptr);
    ~MainWindow() override;

    const EditorState &state() const { return m_state; }

signals:
    // File > Exit: the program ends at once, whatever windows are open.
    void exitRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void createMenus();
    void createControls(QWidget *client);
    void showMessage(const QString &text);
    // False, after saying so, until a Read has succeeded.
    bool tableLoaded();

    void read();
    void save();
    void exit();
    void showAbout();

    void loadGlyph(int glyph);
    // False when the click painted nothing: a message, or a pick.
    bool clickPixel(int pixel);
    void paint(int pixel);
    void setPenLevel(int level);
    void enterPickMode();
    void endPickMode();
    void leaveMenus(); // gives the keyboard back to where it was before F10
    void showPen();

    const fonttable::Folder m_folder;
    const fonttable::FileCalls m_fileCalls;
    EditorState m_state;

    GlyphTableView *m_viewer = nullptr;
    PixelEditor *m_editor = nullptr;
    QFrame *m_penPictureBox = nullptr;
    QScrollBar *m_hScroll1 = nullptr;
    QLabel *m_penNumber = nullptr;
    QPushButton *m_pickColor = nullptr;
    QAction *m_sgViewer = nullptr;
    QAction *m_sgEditor = nullptr;
    QPointer<AboutWindow> m_about; // open only while shown
    bool m_stroke = false;         // the stroke under way paints
    QPointer<QWidget> m_focusBeforeMenus;
};
