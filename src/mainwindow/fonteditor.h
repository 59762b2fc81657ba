#pragma once

#include "fonttable/resourcefile.h"
#include "mainwindow/editorstate.h"

#include <QCoreApplication>
#include <QString>

// The editing rules, without widgets: Read and Save, loading a glyph, a pixel click that picks
// or paints, the pen, pick mode and the gridline items. Each operation changes the state and
// returns the message the user must see, if any; the window draws what the state holds.
class FontEditor
{
    Q_DECLARE_TR_FUNCTIONS(FontEditor)

public:
    // A gridline item of the View menu and the borders of its grid.
    struct Gridlines {
        bool enabled = false;
        bool checked = true;
        bool borders = true;
    };

    // What a click on a pixel cell did.
    struct PixelClick {
        bool painted = false;
        QString message;
    };

    // folder holds the archive, normally the program's own.
    explicit FontEditor(fonttable::Folder folder, fonttable::FileCalls fileCalls = {});

    const EditorState &state() const { return m_state; }
    int penLevel() const { return m_penLevel; }
    const Gridlines &viewerGridlines() const { return m_viewer; }
    const Gridlines &editorGridlines() const { return m_editor; }

    QString read();
    QString save();
    QString loadGlyph(int glyph);
    PixelClick clickPixel(int pixel);
    // Paints a pixel of the selected glyph with the pen, as the rest of a stroke does.
    void paint(int pixel);
    void setPenLevel(int level);
    void enterPickMode();
    void endPickMode();
    void toggleViewerGridlines();
    void toggleEditorGridlines();

private:
    const fonttable::Folder m_folder;
    const fonttable::FileCalls m_fileCalls;
    EditorState m_state;
    int m_penLevel = 255; // HScroll1's value
    Gridlines m_viewer;
    Gridlines m_editor;
};
