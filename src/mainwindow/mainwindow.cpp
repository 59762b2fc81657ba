#include "mainwindow/mainwindow.h"

#include "about/aboutwindow.h"
#include "mainwindow/messages.h"
#include "mainwindow/previewwindow.h"
#include "mainwindow/unsavedexport.h"
#include "views/glyphtableview.h"
#include "views/pixeleditor.h"
#include "views/units.h"

#include <QApplication>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>

using namespace fonttable;
namespace
{

// The client area below the menu bar, in twips.
constexpr int ClientWidth = 10'920;
constexpr int ClientHeight = 6'285;

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
    if (!m_preview) {
        m_preview = new PreviewWindow(m_fontEditor, this);
        // Beside the main window where the screen has room, else below it; whole on the screen.
        m_preview->adjustSize();
        const QRect screen = this->screen()->availableGeometry();
        QRect place(frameGeometry().topRight() + QPoint(8, 0), m_preview->frameSize());
        if (place.right() > screen.right())
            place.moveTopLeft(frameGeometry().bottomLeft() + QPoint(0, 8));
        place.moveBottomRight(
            {std::min(place.right(), screen.right()), std::min(place.bottom(), screen.bottom())});
        place.moveTopLeft(
            {std::max(place.left(), screen.left()), std::max(place.top(), screen.top())});
        m_preview->move(place.topLeft());
    }
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
