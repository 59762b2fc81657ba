#include "mainwindow/mainwindow.h"

#include "about/aboutwindow.h"
#include "mainwindow/glyphtableview.h"
#include "mainwindow/picturecell.h"
#include "mainwindow/pixeleditor.h"
#include "units/units.h"

#include <QApplication>
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

using namespace fonttable;

namespace
{

// The client area below the menu bar, in twips.
constexpr int ClientWidth = 10'920;
constexpr int ClientHeight = 6'285;

constexpr int PenLevelMaximum = 255;

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

} // namespace

MainWindow::MainWindow(Folder folder, FileCalls fileCalls, QWidget *parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                              Qt::MSWindowsFixedSizeDialogHint),
      m_folder(std::move(folder)), m_fileCalls(std::move(fileCalls))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(tr("Tessora"));
    setWindowIcon(QIcon(QStringLiteral(":/resources/tessora.xpm")));

    auto *client = new QWidget(this);
    client->setFixedSize(units::layoutRect(0, 0, ClientWidth, ClientHeight).size());
    setCentralWidget(client);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    createControls(client);
    createMenus();

    m_state.PenColor = grayColor(quint8(m_hScroll1->value()));
    showPen();

    // The window itself holds the keyboard at first: Tab, not the start, puts the focus mark on
    // the glyph table.
    setFocusPolicy(Qt::StrongFocus);
    setFocus();
}

MainWindow::~MainWindow()
{
    delete m_about;
}

void MainWindow::createControls(QWidget *client)
{
    m_viewer = new GlyphTableView(client);
    m_viewer->move(units::layoutRect(GlyphTableView::Left, GlyphTableView::Top, 0, 0).topLeft());

    connect(m_viewer, &GlyphTableView::cellClicked, this, &MainWindow::loadGlyph);

    m_editor = new PixelEditor(client);
    m_editor->move(units::layoutRect(PixelEditor::Left, PixelEditor::Top, 0, 0).topLeft());
    m_editor->setStrokes(true);
    connect(m_editor, &PixelEditor::cellClicked, this,
            [this](int pixel) { m_stroke = clickPixel(pixel); });
    // The rest of a stroke paints only where its press painted.
    connect(m_editor, &PixelEditor::cellEntered, this, [this](int pixel) {
        if (m_stroke)
            paint(pixel);
    });

    m_penPictureBox = new QFrame(client);
    m_penPictureBox->setObjectName(QStringLiteral("PenPictureBox"));
    m_penPictureBox->setGeometry(units::layoutRect(8400, 5160, 300, 300));
    m_penPictureBox->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_penPictureBox->setAutoFillBackground(true);
    m_penPictureBox->setAccessibleName(tr("Pen colour"));

    m_hScroll1 = new QScrollBar(Qt::Horizontal, client);
    m_hScroll1->setObjectName(QStringLiteral("HScroll1"));
    m_hScroll1->setGeometry(units::layoutRect(8760, 5160, 1695, 300));
    m_hScroll1->setRange(0, PenLevelMaximum);
    m_hScroll1->setSingleStep(1);
    m_hScroll1->setPageStep(16);
    m_hScroll1->setAccessibleName(tr("Pen level"));
    m_hScroll1->setAccessibleDescription(
        tr("Gray level of the pen, from 0 (black) to 255 (white)"));
    m_hScroll1->setValue(PenLevelMaximum);
    // From the keyboard: Right and Up raise the level, Page Up by 16.
    m_hScroll1->setInvertedControls(false);
    m_hScroll1->setFocusPolicy(Qt::StrongFocus);
    // Emitted only when the level differs, both while dragging and when set from code.
    connect(m_hScroll1, &QScrollBar::valueChanged, this, &MainWindow::setPenLevel);

    m_penNumber = new QLabel(QString::number(PenLevelMaximum), client);
    m_penNumber->setObjectName(QStringLiteral("PenNumber"));
    m_penNumber->setGeometry(units::layoutRect(10'560, 5205, 300, 300));
    m_penNumber->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_penNumber->setFont(units::designFont(m_penNumber->font()));

    m_pickColor = new QPushButton(client);
    m_pickColor->setObjectName(QStringLiteral("PickColor"));
    m_pickColor->setGeometry(units::layoutRect(9240, 5600, 615, 495));
    m_pickColor->setToolTip(tr("Pick Color"));
    m_pickColor->setIcon(QIcon(QStringLiteral(":/resources/eyedropper.xpm")));
    m_pickColor->setIconSize(QSize(26, 26));
    m_pickColor->setAccessibleName(tr("Pick Color"));
    m_pickColor->setAccessibleDescription(tr("Take the pen's level from the next pixel clicked"));
    // Drawn pressed while pick mode is on.
    m_pickColor->setCheckable(true);
    connect(m_pickColor, &QPushButton::clicked, this, &MainWindow::enterPickMode);

    setTabOrder(m_viewer, m_editor);
    setTabOrder(m_editor, m_hScroll1);
    setTabOrder(m_hScroll1, m_pickColor);
}

void MainWindow::createMenus()
{
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
    // The table's check mark stands while its borders are off.
    connect(m_sgViewer, &QAction::toggled, m_viewer,
            [this](bool checked) { m_viewer->setBorders(!checked); });
    // The editor's check mark stands while its borders are on.
    connect(m_sgEditor, &QAction::toggled, m_editor, &PixelEditor::setBorders);
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
    connect(menuBar(), &QMenuBar::triggered, this, &MainWindow::leaveMenus);
}

void MainWindow::showMessage(const QString &text)
{
    // Titled with the program's name: an empty title shows the binary's name instead.
    QMessageBox box(QMessageBox::NoIcon, tr("Tessora"), text, QMessageBox::Ok, this);
    // A folder named like markup shows as it is named.
    box.setTextFormat(Qt::PlainText);
    // A path or an error in the text can be selected and copied.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.exec();
}

void MainWindow::read()
{
    ReadResult result = readBlock(m_folder, m_fileCalls);
    if (!result.ok()) {
        showMessage(result.error);
        return;
    }
    m_state.FontTable = result.archive.base;
    m_state.ResourcePath = displayPath(m_folder, result.archive.name);
    m_state.Archive = result.archive;

    // The table is drawn while the borders may still be on; the cells keep the drawing when
    // the borders go.
    m_viewer->drawTable(m_state.FontTable);
    m_viewer->setBorders(false);
    m_sgViewer->setEnabled(true);
    m_sgViewer->setChecked(true);
    m_state.TableLoaded = true;
}

bool MainWindow::tableLoaded()
{
    if (!m_state.TableLoaded)
        showMessage(tr("Please read san11res.bin first."));
    return m_state.TableLoaded;
}

void MainWindow::save()
{
    if (!tableLoaded())
        return;
    const WriteResult result =
        writeBlock(m_folder, m_state.Archive, m_state.FontTable, m_fileCalls);
    if (!result.ok())
        showMessage(result.error);
}

void MainWindow::loadGlyph(int glyph)
{
    if (!tableLoaded())
        return;
    m_state.SelectedGlyph = qint16(glyph);
    for (int k = 1; k <= PixelsPerGlyph; ++k)
        m_state.PixelValues[k - 1] = m_state.FontTable.byte(pixelPosition(glyph, k));
    m_editor->showGlyph(m_state.PixelValues);
    m_sgEditor->setEnabled(true);
}

bool MainWindow::clickPixel(int pixel)
{
    if (!tableLoaded())
        return false;
    if (m_state.SelectedGlyph == 0) {
        showMessage(tr("Please select a Character from the Viewer Table first."));
        return false;
    }

    if (m_state.PickMode) {
        // PixelValues follows the paints, so the pick takes the level the cell shows now.
        const qint16 level = m_state.PixelValues[pixel - 1];
        m_state.PenColor = grayColor(quint8(level));
        showPen();
        m_hScroll1->setValue(level);
        m_penNumber->setText(QString::number(level));
        endPickMode();
        return false;
    }
    paint(pixel);
    return true;
}

void MainWindow::paint(int pixel)
{
    const quint8 level = quint8(m_hScroll1->value());
    m_state.SelectedPixel = qint16(pixel);
    m_editor->paintPixel(pixel, m_state.PenColor);
    m_viewer->repaintPixel(m_state.SelectedGlyph, pixel, m_state.PenColor);
    m_state.FontTable.setByte(pixelPosition(m_state.SelectedGlyph, pixel), level);
    m_state.PixelValues[pixel - 1] = level;
}

void MainWindow::setPenLevel(int level)
{
    m_state.PenColor = grayColor(quint8(level));
    m_penNumber->setText(QString::number(level));
    showPen();
}

void MainWindow::showPen()
{
    QPalette swatch = m_penPictureBox->palette();
    swatch.setColor(QPalette::Window, units::color(m_state.PenColor));
    m_penPictureBox->setPalette(swatch);
}

void MainWindow::enterPickMode()
{
    m_state.PickMode = true;
    m_pickColor->setChecked(true); // a second click leaves it on
    m_editor->setPickPointer(true);
}

void MainWindow::endPickMode()
{
    m_state.PickMode = false;
    m_pickColor->setChecked(false);
    m_editor->setPickPointer(false);
}

// The menu bar chooses its own commands with Enter; Esc and Tab give the keyboard back.
bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == menuBar() && event->type() == QEvent::KeyPress && menuBar()->hasFocus()) {
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
    if (!menuBar()->hasFocus())
        return;
    menuBar()->setActiveAction(nullptr);
    QWidget *back = m_focusBeforeMenus ? m_focusBeforeMenus.data() : this;
    back->setFocus(Qt::OtherFocusReason);
}

void MainWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && m_state.PickMode)
        endPickMode();
    else
        QMainWindow::keyPressEvent(event);
}

void MainWindow::showAbout()
{
    if (!m_about)
        m_about = new AboutWindow;
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

void MainWindow::exit()
{
    if (m_about)
        m_about->close();
    emit exitRequested();
}
