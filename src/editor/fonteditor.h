#pragma once

#include "editor/editorstate.h"
#include "fonttable/resourcefile.h"

#include <QImage>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

// The editing rules, without widgets: Read and Save, loading a glyph, a pixel click that picks
// or paints, the pen, pick mode and the gridline items. Each operation changes the state and
// returns what it met as data, which the window puts in words; the window draws what the state
// holds.
class FontEditor : public QObject
{
    Q_OBJECT

public:
    using Glyph = fonttable::Glyph;

    // A gridline item of the View menu and the borders of its grid.
    struct Gridlines {
        bool enabled = false;
        bool checked = true;
        bool borders = true;
    };

    // Why an operation did nothing: the table is not read yet, or no glyph is chosen.
    enum class Refusal { None, NotRead, NoGlyph };

    // What a Read, a Save or the choice of a glyph met, as data that the window words.
    struct Outcome {
        Refusal refusal = Refusal::None;
        fonttable::Failure failure; // what the archive did

        bool ok() const
        {
            return refusal == Refusal::None && failure.what == fonttable::Failure::None;
        }
    };

    // What a click on a pixel cell did.
    struct PixelClick {
        bool painted = false;
        Refusal refusal = Refusal::None;
    };

    // Why an image is no glyph.
    struct ImageProblem {
        enum What { None, Size, ToneCurve, NotOpaque, NotGray } what = None;
        QSize size;          // of the image, for Size
        QPoint at;           // the pixel, for NotOpaque and NotGray
        bool linear = false; // for ToneCurve: linear light, or another curve
    };

    // folder holds the archive, normally the program's own.
    explicit FontEditor(fonttable::Folder folder, fonttable::FileCalls fileCalls = {});

    const EditorState &state() const { return m_state; }
    const fonttable::Folder &folder() const { return m_folder; }
    int penLevel() const { return m_penLevel; }
    const Gridlines &viewerGridlines() const { return m_viewerGridlines; }
    const Gridlines &editorGridlines() const { return m_editorGridlines; }

    Outcome read();
    Outcome save();
    Outcome loadGlyph(int glyph);
    PixelClick clickPixel(int pixel);
    // Paints a pixel of the selected glyph with the pen.
    void paint(int pixel);
    // A pixel the pointer entered with the button held since a click: painted as the rest of the
    // stroke when the click painted.
    void continueStroke(int pixel);
    void setPenLevel(int level);
    void enterPickMode();
    void endPickMode();
    void toggleViewerGridlines();
    void toggleEditorGridlines();

    // One change is a click that paints, the whole stroke it begins, a paste, or a Read that
    // replaced a table with another; one that leaves every byte as it was is none. Undo and redo
    // put a change's glyph, or a Read's table, back as it was before or after it, and return that
    // glyph, which the window loads into the pixel editor, or WholeTable; 0 when there is
    // nothing to undo or redo.
    static constexpr int WholeTable = -1;
    bool canUndo() const { return openChanges() || !m_undone.empty(); }
    bool canRedo() const { return !openChanges() && !m_redone.empty(); }
    int undo();
    int redo();
    // Whether the pixel editor holds a glyph, which copy and paste need.
    bool glyphLoaded() const { return m_state.TableLoaded && m_state.SelectedGlyph != 0; }
    // What the edit commands can do now: Undo, Redo, Copy Glyph, Paste Glyph. Paste is offered
    // with a glyph loaded, whatever the clipboard holds: asking it could wait on its owner.
    struct Offers {
        bool undo, redo, copy, paste;
    };
    Offers offers() const { return {canUndo(), canRedo(), glyphLoaded(), glyphLoaded()}; }
    // The glyph in the pixel editor, pixel 1 first; empty when there is none.
    std::optional<Glyph> copyGlyph() const;
    // Levels over the glyph in the pixel editor, as one change; false when there is none.
    bool pasteGlyph(const Glyph &levels);

    // A glyph as an 8 x 16 gray image, as the clipboard carries it, and back: exactly the levels
    // the image stores, or, in why, what keeps the image from being a glyph.
    static QImage image(const Glyph &levels);
    static std::optional<Glyph> fromImage(const QImage &image, ImageProblem &why);

signals:
    // Bytes of the font table changed: one pixel (1-128) of a glyph, the whole glyph for pixel
    // 0, or the whole table for WholeTable.
    void tableChanged(int glyph, int pixel);
    // The pixel editor's glyph, or its levels, loaded afresh.
    void selectionChanged();
    void penChanged();
    void pickModeChanged();
    void gridlinesChanged();

private:
    struct Change {
        int glyph; // WholeTable for a Read
        Glyph before, after;
        std::shared_ptr<const fonttable::FontTable> tableBefore, tableAfter;
    };
    bool openChanges() const
    {
        return m_open && m_state.FontTable.glyph(m_open->glyph) != m_open->before;
    }
    void loadPixelValues();
    void setGlyphBytes(int glyph, const Glyph &levels);
    void closeChange();
    int moveChange(std::vector<Change> &from, std::vector<Change> &to, bool after);

    const fonttable::Folder m_folder;
    const fonttable::FileCalls m_fileCalls;
    EditorState m_state;
    int m_penLevel = 255; // HScroll1's value
    Gridlines m_viewerGridlines;
    Gridlines m_editorGridlines;
    std::optional<Change> m_open; // the change under way: a stroke goes on until the next command
    bool m_strokePaints = false;  // the last click on a pixel painted
    std::vector<Change> m_undone, m_redone; // every change of this session
};
