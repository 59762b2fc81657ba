#pragma once

#include "fonttable/resourcefile.h"
#include "mainwindow/mainwindow.h"

#include <QTemporaryDir>

#include <memory>

class PictureCell;
class QAction;

namespace testsupport
{

// A shown main window whose program folder is a fresh temporary folder, and the ways a test
// reaches its controls.
class WindowFixture
{
public:
    explicit WindowFixture(fonttable::FileCalls calls = {});
    ~WindowFixture();

    QString folder() const { return m_dir.path(); }
    QString archive() const;
    MainWindow *window() const { return m_window.get(); }
    const EditorState &state() const { return m_window->state(); }

    QAction *item(const char *name) const;
    void choose(const char *name) const; // a menu item, as a click on it does
    PictureCell *viewer(int glyph) const;
    PictureCell *editor(int pixel) const;
    template <typename T> T *control(const char *name) const
    {
        return m_window->findChild<T *>(QLatin1String(name));
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
};

} // namespace testsupport
