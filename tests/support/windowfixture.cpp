#include "support/windowfixture.h"

#include "mainwindow/picturecell.h"

#include <QAction>
#include <QTest>

namespace testsupport
{

WindowFixture::WindowFixture(fonttable::FileCalls calls)
    : m_window(std::make_unique<MainWindow>(m_dir.path(), std::move(calls)))
{
    if (!m_dir.isValid())
        qFatal("no temporary folder");
    m_window->show();
    if (!QTest::qWaitForWindowExposed(m_window.get()))
        qFatal("the main window was not shown");
}

WindowFixture::~WindowFixture() = default;

QString WindowFixture::archive() const
{
    return m_dir.filePath(QLatin1String(fonttable::ResourceName));
}

QAction *WindowFixture::item(const char *name) const
{
    return control<QAction>(name);
}

void WindowFixture::choose(const char *name) const
{
    item(name)->trigger();
}

PictureCell *WindowFixture::viewer(int glyph) const
{
    return m_window->findChild<PictureCell *>(QStringLiteral("Viewer(%1)").arg(glyph));
}

PictureCell *WindowFixture::editor(int pixel) const
{
    return m_window->findChild<PictureCell *>(QStringLiteral("Editor(%1)").arg(pixel));
}

} // namespace testsupport
