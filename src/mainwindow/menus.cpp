// The menu bar and the keyboard: F10, Esc and Tab in the menus, and the pen's focus ring.

#include "mainwindow/mainwindow.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QMenuBar>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>

namespace
{

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
