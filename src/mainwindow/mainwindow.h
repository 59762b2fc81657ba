#pragma once

#include "editor/fonteditor.h"

#include <QMainWindow>
#include <QPointer>

class AboutWindow;
class QAction;
class QFrame;
class QLabel;
class QPushButton;
class QScrollBar;
class QShortcut;
class GlyphTableView;
class PixelEditor;
class PreviewWindow;

// The program's one working window: the glyph table, the pixel editor with its pen and the menus.
// It turns the user's input into FontEditor's operations and shows what its state holds.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // folder holds the archive, normally the program's own.
    explicit MainWindow(fonttable::Folder folder, fonttable::FileCalls fileCalls = {},
                        QWidget *parent = nullptr);
    ~MainWindow() override;

    const FontEditor &editor() const { return m_fontEditor; }
    const EditorState &state() const { return m_fontEditor.state(); }

signals:
    // File > Exit: the program ends at once, whatever windows are open.
    void exitRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void createMenus();
    void createControls(QWidget *client);
    // Shows the text in a message box, if there is one; after a failed Save, with a way to keep
    // the edits in a PNG image.
    void showMessage(const QString &text, bool offerExport = false);

    void read();
    void save();
    void exit();
    void showAbout();
    void showPreview(); // opened, or the open one shown

    void loadGlyph(int glyph);
    void clickPixel(int pixel);
    void followEditor(); // the views shown afresh where the editor changed
    void leaveMenus();   // gives the keyboard back to where it was before F10
    void showPen();
    void showPickMode();
    void showGridlines();
    // Undo, Redo, Copy Glyph, Paste Glyph and Preview: from their keys anywhere in the window,
    // or from the grids' context menu.
    void createEditActions();
    bool menusClosed() const;
    void undoOrRedo(bool redo);
    void copyGlyph();
    void pasteGlyph();

    FontEditor m_fontEditor;

    GlyphTableView *m_glyphTable = nullptr;
    PixelEditor *m_pixelEditor = nullptr;
    QFrame *m_penPictureBox = nullptr;
    QScrollBar *m_hScroll1 = nullptr;
    QFrame *m_penFocus = nullptr; // shown around HScroll1 while it has the keyboard
    QLabel *m_penNumber = nullptr;
    QPushButton *m_pickColor = nullptr;
    QAction *m_sgViewer = nullptr;
    QAction *m_sgEditor = nullptr;
    QShortcut *m_endPicking = nullptr;
    QList<QAction *> m_editActions;     // Undo, Redo, Copy Glyph, Paste Glyph, Preview
    QPointer<AboutWindow> m_about;      // open only while shown
    PreviewWindow *m_preview = nullptr; // made when first asked for
    QPointer<QWidget> m_focusBeforeMenus;
};
