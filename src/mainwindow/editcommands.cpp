// Undo, Redo, Copy Glyph, Paste Glyph and Preview: from their keys anywhere in the window, or
// from the grids' context menu.

#include "mainwindow/mainwindow.h"

#include "mainwindow/clipboardimage.h"
#include "mainwindow/messages.h"
#include "views/glyphtableview.h"
#include "views/pixeleditor.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMenuBar>

void MainWindow::createEditActions()
{
    const std::tuple<const char *, QString, QList<QKeySequence>, std::function<void()>> actions[] =
        {{"Undo",
          tr("Undo"),
          {QKeySequence(tr("Ctrl+Z"))},
          [this] {
              undoOrRedo(false);
          }},
         {"Redo",
          tr("Redo"),
          {QKeySequence(tr("Ctrl+Shift+Z")), QKeySequence(tr("Ctrl+Y"))},
          [this] {
              undoOrRedo(true);
          }},
         {"CopyGlyph",
          tr("Copy Glyph"),
          {QKeySequence(tr("Ctrl+C"))},
          [this] {
              copyGlyph();
          }},
         {"PasteGlyph",
          tr("Paste Glyph"),
          {QKeySequence(tr("Ctrl+V"))},
          [this] {
              pasteGlyph();
          }},
         {"ShowPreview", tr("Preview\u2026"), {QKeySequence(tr("Ctrl+P"))}, [this] {
              showPreview();
          }}};
    for (const auto &[name, caption, keys, act] : actions) {
        auto *action = new QAction(caption, this);
        action->setObjectName(QLatin1String(name));
        action->setShortcuts(keys);
        action->setShortcutVisibleInContextMenu(true);
        connect(action, &QAction::triggered, this, act);
        addAction(action);
        m_editActions << action;
    }
    // A right click on either grid offers them, each greyed out where it cannot act now.
    for (CellGrid *grid : std::initializer_list<CellGrid *>{m_glyphTable, m_pixelEditor}) {
        grid->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(grid, &QWidget::customContextMenuRequested, this, [this, grid](QPoint at) {
            // Paste is offered with a glyph loaded, and says itself what the clipboard holds:
            // asking here would make the menu wait on the clipboard's owner.
            const FontEditor::Offers offers = m_fontEditor.offers();
            const bool able[] = {offers.undo, offers.redo, offers.copy, offers.paste, true};
            QMenu menu(this);
            for (int i = 0; i < 5; ++i) {
                m_editActions[i]->setEnabled(able[i]);
                menu.addAction(m_editActions[i]);
            }
            menu.exec(grid->mapToGlobal(at));
            for (QAction *action : m_editActions)
                action->setEnabled(true);
        });
    }
}

// The keys act only on the window itself, not in a menu or under a message box.
bool MainWindow::menusClosed() const
{
    return !menuBar()->hasFocus() && !QApplication::activePopupWidget() &&
           !QApplication::activeModalWidget();
}

void MainWindow::undoOrRedo(bool redo)
{
    if (menusClosed())
        redo ? m_fontEditor.redo() : m_fontEditor.undo();
}

void MainWindow::copyGlyph()
{
    if (const auto glyph = m_fontEditor.copyGlyph(); glyph && menusClosed())
        QGuiApplication::clipboard()->setImage(FontEditor::image(*glyph));
}

void MainWindow::pasteGlyph()
{
    if (!m_fontEditor.glyphLoaded() || !menusClosed())
        return;
    const ClipboardImage clipboard = ClipboardImage::fetch();
    const QString again = tr(" Copy it again, then paste.");
    switch (clipboard.outcome) {
    case ClipboardImage::Image:
        break;
    case ClipboardImage::NoImage:
        showMessage(tr("The clipboard holds no image to paste. Copy a glyph in Tessora, or an "
                       "8 x 16 image in your image editor, then paste."));
        return;
    case ClipboardImage::NoAnswer:
        showMessage(tr("The program that holds the clipboard does not answer, so nothing was "
                       "pasted. Copy the image again, or close that program, then paste."));
        return;
    case ClipboardImage::Unreadable:
        showMessage(tr("The image on the clipboard cannot be read: it is empty or damaged.") +
                    again);
        return;
    case ClipboardImage::TooLarge:
        showMessage(tr("The image on the clipboard is far too large to be a glyph, which is 8 x "
                       "16 pixels. Scale or crop it to 8 x 16 in your image editor.") +
                    again);
        return;
    }
    FontEditor::ImageProblem why;
    if (const auto levels = FontEditor::fromImage(clipboard.image, why)) {
        m_fontEditor.pasteGlyph(*levels);
    } else {
        showMessage(imageMessage(why));
    }
}
