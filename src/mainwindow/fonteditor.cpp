#include "mainwindow/fonteditor.h"

#include "mainwindow/storagemessage.h"

using namespace fonttable;

FontEditor::FontEditor(Folder folder, FileCalls fileCalls)
    : m_folder(std::move(folder)), m_fileCalls(std::move(fileCalls))
{
    m_state.PenColor = grayColor(quint8(m_penLevel));
}

QString FontEditor::read()
{
    const ReadResult result = readBlock(m_folder, m_fileCalls);
    if (!result.ok())
        return storageMessage(result.failure, false);
    m_state.FontTable = result.archive.base;
    m_state.ResourcePath = displayPath(m_folder, result.archive.name);
    m_state.Archive = result.archive;
    m_viewer = {true, true, false};
    m_state.TableLoaded = true;
    return {};
}

QString FontEditor::save()
{
    if (!m_state.TableLoaded)
        return tr("Please read san11res.bin first.");
    return storageMessage(
        writeBlock(m_folder, m_state.Archive, m_state.FontTable, m_fileCalls).failure, true);
}

QString FontEditor::loadGlyph(int glyph)
{
    if (!m_state.TableLoaded)
        return tr("Please read san11res.bin first.");
    m_state.SelectedGlyph = qint16(glyph);
    for (int k = 1; k <= PixelsPerGlyph; ++k)
        m_state.PixelValues[k - 1] = m_state.FontTable.byte(pixelPosition(glyph, k));
    m_editor.enabled = true;
    return {};
}

FontEditor::PixelClick FontEditor::clickPixel(int pixel)
{
    if (!m_state.TableLoaded)
        return {false, tr("Please read san11res.bin first.")};
    if (m_state.SelectedGlyph == 0)
        return {false, tr("Please select a Character from the Viewer Table first.")};
    if (m_state.PickMode) {
        // PixelValues follows the paints, so the pick takes the level the cell shows now.
        setPenLevel(m_state.PixelValues[pixel - 1]);
        endPickMode();
        return {};
    }
    paint(pixel);
    return {true, {}};
}

void FontEditor::paint(int pixel)
{
    m_state.SelectedPixel = qint16(pixel);
    m_state.FontTable.setByte(pixelPosition(m_state.SelectedGlyph, pixel), quint8(m_penLevel));
    m_state.PixelValues[pixel - 1] = qint16(m_penLevel);
}

void FontEditor::setPenLevel(int level)
{
    m_penLevel = level;
    m_state.PenColor = grayColor(quint8(level));
}

void FontEditor::enterPickMode()
{
    m_state.PickMode = true;
}

void FontEditor::endPickMode()
{
    m_state.PickMode = false;
}

// The table's check mark stands while its borders are off.
void FontEditor::toggleViewerGridlines()
{
    if (!m_viewer.enabled)
        return;
    m_viewer.checked = !m_viewer.checked;
    m_viewer.borders = !m_viewer.checked;
}

// The editor's check mark stands while its borders are on.
void FontEditor::toggleEditorGridlines()
{
    if (!m_editor.enabled)
        return;
    m_editor.checked = !m_editor.checked;
    m_editor.borders = m_editor.checked;
}
