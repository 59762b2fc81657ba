#include "mainwindow/mainwindow.h"

#include "about/aboutwindow.h"
#include "mainwindow/clipboardimage.h"
#include "mainwindow/messages.h"
#include "mainwindow/previewwindow.h"
#include "mainwindow/unsavedexport.h"
#include "views/glyphtableview.h"
#include "views/pixeleditor.h"
#include "views/units.h"

#include <QApplication>
#include <QClipboard>
#include <QFrame>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>

using namespace fonttable;

namespace
{

// The client area below the menu bar, in twips.
constexpr int ClientWidth = 10'920;
constexpr int ClientHeight = 6'285;

QAction *addItem(QWidget *menu, const char *name, const QString &caption)
{
    auto *action = new QAction(caption, menu);
    action->setObjectName(QLatin1String(name));
    menu->addAction(action);
    return action;
}

QMenu *addMenu(QWidget *parent, const char *name, const QString &caption)
{
    auto *menu = new QMenu(caption, parent);
    menu->setObjectName(QLatin1String(name));
    menu->menuAction()->setObjectName(QLatin1String(name));
    return menu;
}

// The bar's own Esc, taken straight to it: through the application it would also be the
// window's Esc, which ends picking.
class MenuBar : public QMenuBar
{
public:
    using QMenuBar::QMenuBar;

    void leave()
    {
        if (QApplication::activePopupWidget())
            return;
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        keyPressEvent(&escape);
    }
};

} // namespace

MainWindow::MainWindow(Folder folder, FileCalls fileCalls, QWidget *parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                              Qt::MSWindowsFixedSizeDialogHint),
      m_fontEditor(std::move(folder), std::move(fileCalls))
{
    // The design's one size of text for every window, its menus and its messages. The change
    // reaches a window already made only once the event loop runs, so this one takes the font
    // itself, and its children inherit it.
    QApplication::setFont(units::designFont(QApplication::font()));
    setFont(QApplication::font());
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(tr("Tessora"));
    setWindowIcon(QIcon(QStringLiteral(":/resources/tessora.xpm")));

    auto *client = new QWidget(this);
    client->setFixedSize(units::layoutRect(0, 0, ClientWidth, ClientHeight).size());
    setCentralWidget(client);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    createControls(client);
    createMenus();
    createEditActions();
    followEditor();

    showPen();

    // The window itself holds the keyboard at first: Tab, not the start, puts the focus mark on
    // the glyph table. It is no stop of Tab's, where the focus would show nowhere.
    setFocusPolicy(Qt::ClickFocus);
    setFocus();
}

MainWindow::~MainWindow()
{
    delete m_about;
}

void MainWindow::createControls(QWidget *client)
{
    m_glyphTable = new GlyphTableView(m_fontEditor, client);
    m_glyphTable->move(
        units::layoutRect(GlyphTableView::Left, GlyphTableView::Top, 0, 0).topLeft());

    connect(m_glyphTable, &GlyphTableView::cellClicked, this, &MainWindow::loadGlyph);

    m_pixelEditor = new PixelEditor(m_fontEditor, client);
    m_pixelEditor->move(units::layoutRect(PixelEditor::Left, PixelEditor::Top, 0, 0).topLeft());
    m_pixelEditor->setStrokes(true);
    connect(m_pixelEditor, &PixelEditor::cellClicked, this, &MainWindow::clickPixel);
    connect(m_pixelEditor, &PixelEditor::cellEntered, &m_fontEditor, &FontEditor::continueStroke);

    m_penPictureBox = new QFrame(client);
    m_penPictureBox->setObjectName(QStringLiteral("PenPictureBox"));
    m_penPictureBox->setGeometry(units::layoutRect(8400, 5160, 300, 300));
    m_penPictureBox->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_penPictureBox->setAutoFillBackground(true);
    m_penPictureBox->setAccessibleName(tr("Pen colour"));

    m_hScroll1 = new QScrollBar(Qt::Horizontal, client);
    m_hScroll1->setObjectName(QStringLiteral("HScroll1"));
    m_hScroll1->setGeometry(units::layoutRect(8760, 5160, 1695, 300));
    m_hScroll1->setRange(0, 255);
    m_hScroll1->setSingleStep(1);
    m_hScroll1->setPageStep(16);
    m_hScroll1->setAccessibleName(tr("Pen level"));
    m_hScroll1->setAccessibleDescription(
        tr("Gray level of the pen, from 0 (black) to 255 (white)"));
    m_hScroll1->setValue(m_fontEditor.penLevel());
    // From the keyboard: Right and Up raise the level, Page Up by 16.
    m_hScroll1->setInvertedControls(false);
    m_hScroll1->setFocusPolicy(Qt::StrongFocus);
    // The style draws no focus on a scroll bar: a ring of the highlight's colour around it,
    // under it, shows while it has the keyboard.
    m_penFocus = new QFrame(client);
    m_penFocus->setGeometry(m_hScroll1->geometry().adjusted(-2, -2, 2, 2));
    m_penFocus->setAutoFillBackground(true);
    m_penFocus->setBackgroundRole(QPalette::Highlight);
    m_penFocus->stackUnder(m_hScroll1);
    m_penFocus->hide();
    m_hScroll1->installEventFilter(this);
    // Emitted only when the level differs, both while dragging and when set from code.
    connect(m_hScroll1, &QScrollBar::valueChanged, &m_fontEditor, &FontEditor::setPenLevel);

    m_penNumber = new QLabel(client);
    m_penNumber->setObjectName(QStringLiteral("PenNumber"));
    m_penNumber->setGeometry(units::layoutRect(10'560, 5205, 300, 300));
    m_penNumber->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_pickColor = new QPushButton(client);
    m_pickColor->setObjectName(QStringLiteral("PickColor"));
    m_pickColor->setGeometry(units::layoutRect(9240, 5600, 615, 495));
    m_pickColor->setToolTip(tr("Pick Color"));
    m_pickColor->setIcon(QIcon(QStringLiteral(":/resources/eyedropper.xpm")));
    m_pickColor->setIconSize(QSize(26, 26));
    m_pickColor->setAccessibleName(tr("Pick Color"));
    m_pickColor->setAccessibleDescription(tr("Take the pen's level from the next pixel clicked"));
    m_pickColor->setCheckable(true);
    connect(m_pickColor, &QPushButton::clicked, &m_fontEditor, &FontEditor::enterPickMode);

    setTabOrder(m_glyphTable, m_pixelEditor);
    setTabOrder(m_pixelEditor, m_hScroll1);
    setTabOrder(m_hScroll1, m_pickColor);
}

void MainWindow::createMenus()
{
    setMenuBar(new MenuBar(this));
    QMenu *file = addMenu(this, "File", tr("File"));
    connect(addItem(file, "Read", tr("Read")), &QAction::triggered, this, &MainWindow::read);
    connect(addItem(file, "Save", tr("Save")), &QAction::triggered, this, &MainWindow::save);
    connect(addItem(file, "Exit", tr("Exit")), &QAction::triggered, this, &MainWindow::exit);
    menuBar()->addMenu(file);

    QMenu *view = addMenu(this, "View", tr("View"));
    QMenu *gridlines = addMenu(view, "ShowGridlines", tr("Show Gridlines"));
    m_sgViewer = addItem(gridlines, "SGViewer", tr("Viewer"));
    m_sgEditor = addItem(gridlines, "SGEditor", tr("Editor"));
    for (QAction *item : {m_sgViewer, m_sgEditor}) {
        item->setCheckable(true);
        item->setChecked(true);
        item->setEnabled(false);
    }
    connect(m_sgViewer, &QAction::triggered, &m_fontEditor, &FontEditor::toggleViewerGridlines);
    connect(m_sgEditor, &QAction::triggered, &m_fontEditor, &FontEditor::toggleEditorGridlines);
    view->addMenu(gridlines);
    menuBar()->addMenu(view);

    connect(addItem(menuBar(), "About", tr("About")), &QAction::triggered, this,
            &MainWindow::showAbout);

    // F10 opens the first menu, as in other desktop programs; no menu item has a shortcut. The
    // menu bar keeps the keyboard until a command is chosen or Esc, so that the arrows and
    // Enter also reach About, which is a command on the bar itself.
    connect(new QShortcut(Qt::Key_F10, this), &QShortcut::activated, this, [this, file] {
        m_focusBeforeMenus = QApplication::focusWidget();
        menuBar()->setFocus(Qt::MenuBarFocusReason);
        menuBar()->setActiveAction(file->menuAction());
        file->setActiveAction(file->actions().constFirst());
    });
    menuBar()->installEventFilter(this);

    // Esc ends picking wherever the keyboard is in the window, before any widget that has it can
    // take the key for itself; only while picking, so that otherwise Esc is the widgets' own.
    m_endPicking = new QShortcut(Qt::Key_Escape, this);
    m_endPicking->setEnabled(false);
    connect(m_endPicking, &QShortcut::activated, &m_fontEditor, &FontEditor::endPickMode);
    connect(menuBar(), &QMenuBar::triggered, this, &MainWindow::leaveMenus);
}

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

void MainWindow::showMessage(const QString &text, bool offerExport)
{
    if (text.isEmpty())
        return;
    // Titled with the program's name: an empty title shows the binary's name instead.
    QMessageBox box(QMessageBox::NoIcon, tr("Tessora"), text, QMessageBox::Ok, this);
    // A folder named like markup shows as it is named.
    box.setTextFormat(Qt::PlainText);
    // A path or an error in the text can be selected and copied.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPushButton *exportButton = nullptr;
    if (offerExport) {
        box.setInformativeText(
            tr("To keep them in a file meanwhile, choose \"Export as PNG\u2026\": \"tessora-png "
               "import\" brings that image into the archive later."));
        exportButton = box.addButton(tr("Export as PNG\u2026"), QMessageBox::ActionRole);
        exportButton->setObjectName(QStringLiteral("ExportPng"));
        // Enter and Esc still only close the message.
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
    }
    box.exec();
    if (exportButton && box.clickedButton() == exportButton)
        showMessage(exportUnsaved(this, m_fontEditor));
}

void MainWindow::read()
{
    if (const FontEditor::Outcome read = m_fontEditor.read(); !read.ok())
        showMessage(outcomeMessage(read));
}

void MainWindow::save()
{
    const FontEditor::Outcome saved = m_fontEditor.save();
    // After a failed write the edits are in memory only, where a PNG can keep them.
    showMessage(outcomeMessage(saved, true), saved.failure.what != Failure::None);
}

void MainWindow::loadGlyph(int glyph)
{
    showMessage(outcomeMessage(m_fontEditor.loadGlyph(glyph)));
}

void MainWindow::clickPixel(int pixel)
{
    showMessage(refusalMessage(m_fontEditor.clickPixel(pixel).refusal));
}

// What the editor changed, shown where it shows.
void MainWindow::followEditor()
{
    connect(&m_fontEditor, &FontEditor::tableChanged, this, [this](int glyph, int pixel) {
        if (glyph == FontEditor::WholeTable) {
            m_glyphTable->drawTable();
        } else if (pixel != 0) {
            m_glyphTable->repaintPixel(glyph, pixel);
            m_pixelEditor->paintPixel(pixel);
        } else {
            m_glyphTable->redrawGlyph(glyph);
        }
    });
    connect(&m_fontEditor, &FontEditor::selectionChanged, m_pixelEditor, &PixelEditor::showGlyph);
    connect(&m_fontEditor, &FontEditor::penChanged, this, &MainWindow::showPen);
    connect(&m_fontEditor, &FontEditor::pickModeChanged, this, &MainWindow::showPickMode);
    connect(&m_fontEditor, &FontEditor::gridlinesChanged, this, &MainWindow::showGridlines);
}

void MainWindow::showPen()
{
    m_hScroll1->setValue(m_fontEditor.penLevel());
    m_penNumber->setText(QString::number(m_fontEditor.penLevel()));
    QPalette swatch = m_penPictureBox->palette();
    swatch.setColor(QPalette::Window, units::color(state().PenColor));
    m_penPictureBox->setPalette(swatch);
}

void MainWindow::showPickMode()
{
    // Drawn pressed while picking: a second click leaves it pressed.
    m_pickColor->setChecked(state().PickMode);
    m_pixelEditor->setPickPointer(state().PickMode);
    m_endPicking->setEnabled(state().PickMode);
}

void MainWindow::showGridlines()
{
    const FontEditor::Gridlines &viewer = m_fontEditor.viewerGridlines();
    const FontEditor::Gridlines &editor = m_fontEditor.editorGridlines();
    m_sgViewer->setEnabled(viewer.enabled);
    m_sgViewer->setChecked(viewer.checked);
    m_glyphTable->setBorders(viewer.borders);
    m_sgEditor->setEnabled(editor.enabled);
    m_sgEditor->setChecked(editor.checked);
    m_pixelEditor->setBorders(editor.borders);
}

// The menu bar chooses its own commands with Enter; Esc and Tab give the keyboard back.
bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_hScroll1 &&
        (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
        m_penFocus->setVisible(event->type() == QEvent::FocusIn);
    if (watched == menuBar() && event->type() == QEvent::KeyPress && menuBar()->hasFocus() &&
        event->spontaneous()) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Escape || key == Qt::Key_Tab || key == Qt::Key_Backtab) {
            leaveMenus();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::leaveMenus()
{
    // After a command chosen from a menu opened from the keyboard, the bar would still open
    // its menus as the pointer passes over them, so that a click on one then closes it. Esc, as
    // the bar takes it once the menu has closed, ends that.
    QTimer::singleShot(0, static_cast<MenuBar *>(menuBar()), &MenuBar::leave);
    if (!menuBar()->hasFocus())
        return;
    menuBar()->setActiveAction(nullptr);
    QWidget *back = m_focusBeforeMenus ? m_focusBeforeMenus.data() : this;
    back->setFocus(Qt::OtherFocusReason);
}

void MainWindow::showAbout()
{
    if (!m_about)
        m_about = new AboutWindow;
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

void MainWindow::showPreview()
{
    if (!m_preview)
        m_preview = new PreviewWindow(m_fontEditor, this);
    m_preview->show();
    m_preview->raise();
    m_preview->activateWindow();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_preview)
        m_preview->close();
    QMainWindow::closeEvent(event);
}

void MainWindow::exit()
{
    if (m_about)
        m_about->close();
    emit exitRequested();
}
