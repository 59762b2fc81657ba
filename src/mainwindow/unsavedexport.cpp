#include "mainwindow/unsavedexport.h"

#include "editor/fonteditor.h"
#include "png/pngfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>

QString exportUnsaved(QWidget *parent, const FontEditor &editor)
{
    auto tr = [](const char *text) {
        return QCoreApplication::translate("UnsavedExport", text);
    };
    QFileDialog dialog(parent, tr("Export the font table as a PNG image"));
    dialog.setObjectName(QStringLiteral("ExportDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(tr("PNG images (*.png)"));
    dialog.setDefaultSuffix(QStringLiteral("png"));
    dialog.setDirectory(editor.folder().display());
    dialog.selectFile(QStringLiteral("font-unsaved.png"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    const QString chosen = dialog.selectedFiles().constFirst();
    // Only ever a PNG: never a file of the archive's name, which may be missing just now.
    if (!chosen.endsWith(QLatin1String(".png"), Qt::CaseInsensitive))
        return tr("Nothing was exported. %1: give a name that ends in .png.")
            .arg(QDir::toNativeSeparators(chosen));
#ifdef Q_OS_WIN
    const QByteArray path = QDir::toNativeSeparators(chosen).toUtf8();
#else
    const QByteArray path = QFile::encodeName(chosen);
#endif
    const fonttable::Archive &archive = editor.state().Archive;
    const QString problem = pngfile::write(pngfile::image(editor.state().FontTable), path,
                                           {archive.device, archive.file, "the archive"});
    if (problem.isEmpty())
        return {};
    return tr("Nothing was exported. %1: %2.").arg(QDir::toNativeSeparators(chosen), problem);
}
