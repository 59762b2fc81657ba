#include "editor/fonteditor.h"

#include <QColorSpace>

#include <cmath>

using namespace fonttable;

FontEditor::FontEditor(Folder folder, FileCalls fileCalls)
    : m_folder(std::move(folder)), m_fileCalls(std::move(fileCalls))
{
    m_state.PenColor = grayColor(quint8(m_penLevel));
}

FontEditor::Outcome FontEditor::read()
{
    closeChange();
    const ReadResult result = readBlock(m_folder, m_fileCalls);
    if (!result.ok())
        return {Refusal::None, result.failure};
    // A Read over a table, edited or not, can be undone; the first one has nothing to go back to.
    if (m_state.TableLoaded && m_state.FontTable != result.archive.base) {
        m_undone.push_back({WholeTable,
                            {},
                            {},
                            std::make_shared<FontTable>(m_state.FontTable),
                            std::make_shared<FontTable>(result.archive.base)});
        m_redone.clear();
    }
    m_state.FontTable = result.archive.base;
    m_state.ResourcePath = displayPath(m_folder, result.archive.name);
    m_state.Archive = result.archive;
    m_viewerGridlines = {true, true, false};
    m_state.TableLoaded = true;
    // The pixel editor shows the glyph as the archive holds it, not as it was before.
    loadPixelValues();
    emit tableChanged(WholeTable, 0);
    emit selectionChanged();
    emit gridlinesChanged();
    return {};
}

FontEditor::Outcome FontEditor::save()
{
    if (!m_state.TableLoaded)
        return {Refusal::NotRead, {}};
    return {Refusal::None,
            writeBlock(m_folder, m_state.Archive, m_state.FontTable, m_fileCalls).failure};
}

FontEditor::Outcome FontEditor::loadGlyph(int glyph)
{
    closeChange();
    if (!m_state.TableLoaded)
        return {Refusal::NotRead, {}};
    m_state.SelectedGlyph = qint16(glyph);
    loadPixelValues();
    m_editorGridlines.enabled = true;
    emit selectionChanged();
    emit gridlinesChanged();
    return {};
}

void FontEditor::loadPixelValues()
{
    if (m_state.SelectedGlyph == 0)
        return;
    const Glyph levels = m_state.FontTable.glyph(m_state.SelectedGlyph);
    std::copy(levels.begin(), levels.end(), m_state.PixelValues.begin());
}

FontEditor::PixelClick FontEditor::clickPixel(int pixel)
{
    closeChange();
    m_strokePaints = false;
    if (!m_state.TableLoaded)
        return {false, Refusal::NotRead};
    if (m_state.SelectedGlyph == 0)
        return {false, Refusal::NoGlyph};
    if (m_state.PickMode) {
        // PixelValues follows the paints, so the pick takes the level the cell shows now.
        setPenLevel(m_state.PixelValues[pixel - 1]);
        endPickMode();
        return {};
    }
    paint(pixel);
    m_strokePaints = true;
    return {true, Refusal::None};
}

void FontEditor::continueStroke(int pixel)
{
    // Only a stroke whose press painted, and only until the next command.
    if (m_strokePaints && m_open)
        paint(pixel);
}

void FontEditor::paint(int pixel)
{
    if (!m_open)
        m_open = Change{
            m_state.SelectedGlyph, m_state.FontTable.glyph(m_state.SelectedGlyph), {}, {}, {}};
    m_state.SelectedPixel = qint16(pixel);
    m_state.FontTable.setByte(pixelPosition(m_state.SelectedGlyph, pixel), quint8(m_penLevel));
    m_state.PixelValues[pixel - 1] = qint16(m_penLevel);
    emit tableChanged(m_state.SelectedGlyph, pixel);
}

void FontEditor::setPenLevel(int level)
{
    // The scroll bar shows the level, and tells it back only when it changes.
    if (level == m_penLevel)
        return;
    m_penLevel = level;
    m_state.PenColor = grayColor(quint8(level));
    emit penChanged();
}

void FontEditor::enterPickMode()
{
    m_state.PickMode = true;
    emit pickModeChanged();
}

void FontEditor::endPickMode()
{
    m_state.PickMode = false;
    emit pickModeChanged();
}

// The table's check mark stands while its borders are off.
void FontEditor::toggleViewerGridlines()
{
    if (!m_viewerGridlines.enabled)
        return;
    m_viewerGridlines.checked = !m_viewerGridlines.checked;
    m_viewerGridlines.borders = !m_viewerGridlines.checked;
    emit gridlinesChanged();
}

// The editor's check mark stands while its borders are on.
void FontEditor::toggleEditorGridlines()
{
    if (!m_editorGridlines.enabled)
        return;
    m_editorGridlines.checked = !m_editorGridlines.checked;
    m_editorGridlines.borders = m_editorGridlines.checked;
    emit gridlinesChanged();
}

void FontEditor::setGlyphBytes(int glyph, const Glyph &levels)
{
    m_state.FontTable.setGlyph(glyph, levels);
    loadGlyph(glyph);
    emit tableChanged(glyph, 0);
}

void FontEditor::closeChange()
{
    if (!m_open)
        return;
    m_open->after = m_state.FontTable.glyph(m_open->glyph);
    if (m_open->after != m_open->before) {
        m_undone.push_back(*m_open);
        m_redone.clear();
    }
    m_open.reset();
}

int FontEditor::undo()
{
    return moveChange(m_undone, m_redone, false);
}

int FontEditor::redo()
{
    return moveChange(m_redone, m_undone, true);
}

// Takes the last change of one history to the other, putting its glyph back as it was before or
// after it.
int FontEditor::moveChange(std::vector<Change> &from, std::vector<Change> &to, bool after)
{
    closeChange();
    if (from.empty())
        return 0;
    to.push_back(from.back());
    from.pop_back();
    const Change &change = to.back();
    if (change.glyph == WholeTable) {
        m_state.FontTable = after ? *change.tableAfter : *change.tableBefore;
        loadPixelValues();
        emit tableChanged(WholeTable, 0);
        emit selectionChanged();
    } else {
        setGlyphBytes(change.glyph, after ? change.after : change.before);
    }
    return change.glyph;
}

std::optional<FontEditor::Glyph> FontEditor::copyGlyph() const
{
    if (!glyphLoaded())
        return {};
    return m_state.FontTable.glyph(m_state.SelectedGlyph);
}

bool FontEditor::pasteGlyph(const Glyph &levels)
{
    closeChange();
    if (!glyphLoaded())
        return false;
    m_open =
        Change{m_state.SelectedGlyph, m_state.FontTable.glyph(m_state.SelectedGlyph), {}, {}, {}};
    setGlyphBytes(m_state.SelectedGlyph, levels);
    closeChange();
    return true;
}

QImage FontEditor::image(const Glyph &levels)
{
    QImage glyph(GlyphWidth, GlyphHeight, QImage::Format_Grayscale8);
    for (int k = 1; k <= PixelsPerGlyph; ++k)
        glyph.scanLine(pixelRow(k))[pixelColumn(k)] = levels[k - 1];
    return glyph;
}

std::optional<FontEditor::Glyph> FontEditor::fromImage(const QImage &image, ImageProblem &why)
{
    if (image.size() != QSize(GlyphWidth, GlyphHeight)) {
        why = {ImageProblem::Size, image.size(), {}, false};
        return {};
    }
    // The stored numbers are the levels only where they mean the grays shown on a screen.
    const QColorSpace space = image.colorSpace();
    const auto curve = space.transferFunction();
    if (space.isValid() && curve != QColorSpace::TransferFunction::SRgb &&
        !(curve == QColorSpace::TransferFunction::Gamma && std::abs(space.gamma() - 2.2) < 0.1)) {
        why = {ImageProblem::ToneCurve, {}, {}, curve == QColorSpace::TransferFunction::Linear};
        return {};
    }
    const QImage deep = image.convertToFormat(QImage::Format_RGBA64);
    Glyph levels;
    for (int k = 1; k <= PixelsPerGlyph; ++k) {
        const QRgba64 p =
            reinterpret_cast<const QRgba64 *>(deep.constScanLine(pixelRow(k)))[pixelColumn(k)];
        const PixelLevel level = pixelLevel(p.red(), p.green(), p.blue(), p.alpha(), 0xffff);
        if (level.kind != PixelLevel::Gray) {
            why = {level.kind == PixelLevel::Coloured ? ImageProblem::NotGray
                                                      : ImageProblem::NotOpaque,
                   {},
                   QPoint(pixelColumn(k), pixelRow(k)),
                   false};
            return {};
        }
        levels[k - 1] = level.level;
    }
    return levels;
}
