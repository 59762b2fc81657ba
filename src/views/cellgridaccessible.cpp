// How a screen reader sees a grid: a table whose children are its cells, each a button with a
// name, a description and a press action.

#include "views/cellgrid.h"

#include <QAccessibleWidget>
#include <QPointer>

#include <algorithm>
#include <vector>

namespace
{

// One cell, for a screen reader: a button that says the cell's name and can press it.
class AccessibleCell : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    AccessibleCell(CellGrid *grid, int index) : m_grid(grid), m_index(index) {}

    bool isValid() const override { return m_grid; }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_grid->window()->windowHandle(); }
    QAccessibleInterface *parent() const override
    {
        return QAccessible::queryAccessibleInterface(m_grid);
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return m_grid->cellName(m_index);
        return t == QAccessible::Description ? m_grid->cellDescription(m_index) : QString();
    }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override
    {
        const QRect cell = m_grid->cellRect(m_index);
        return QRect(m_grid->mapToGlobal(cell.topLeft()), cell.size());
    }
    QAccessible::Role role() const override { return QAccessible::Button; }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.focusable = true;
        return state;
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface
                   ? static_cast<QAccessibleActionInterface *>(this)
                   : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &action) override
    {
        if (action == pressAction())
            m_grid->press(m_index);
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    QPointer<CellGrid> m_grid;
    const int m_index;
};

// The grid, whose children are its cells, made when a screen reader first asks for them.
class AccessibleGrid : public QAccessibleWidget
{
public:
    explicit AccessibleGrid(CellGrid *grid) : QAccessibleWidget(grid, QAccessible::Table) {}
    ~AccessibleGrid() override
    {
        for (QAccessible::Id id : m_cells)
            if (id)
                QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return grid()->count(); }
    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        m_cells.resize(size_t(childCount()));
        if (!m_cells[index])
            m_cells[index] =
                QAccessible::registerAccessibleInterface(new AccessibleCell(grid(), index + 1));
        return QAccessible::accessibleInterface(m_cells[index]);
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        const auto at = std::find(m_cells.begin(), m_cells.end(),
                                  QAccessible::uniqueId(const_cast<QAccessibleInterface *>(child)));
        return at == m_cells.end() ? -1 : int(at - m_cells.begin());
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        return child(grid()->cellAt(grid()->mapFromGlobal(QPoint(x, y))) - 1);
    }

private:
    CellGrid *grid() const { return static_cast<CellGrid *>(widget()); }

    mutable std::vector<QAccessible::Id> m_cells; // by index - 1; 0 until asked for
};

} // namespace

QAccessibleInterface *CellGrid::accessibleGrid(const QString &className, QObject *object)
{
    if (className == QLatin1String("CellGrid"))
        return new AccessibleGrid(static_cast<CellGrid *>(object));
    return nullptr;
}
