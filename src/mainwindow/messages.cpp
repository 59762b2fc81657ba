#include "mainwindow/messages.h"

#include <QCoreApplication>

using fonttable::Failure;

namespace
{

QString tr(const char *text)
{
    return QCoreApplication::translate("StorageMessage", text);
}

QString systemError(int code)
{
    return fonttable::systemErrorText(code);
}

// What to do about a refusal whose cause the system's words do not tell.
QString advice(const Failure &f)
{
    switch (f.cause) {
    case Failure::AdminOnly:
        return tr("\n\nWindows lets only administrators change files under Program Files. Start "
                  "Tessora with \"Run as administrator\", or keep the game in a folder of your "
                  "own.");
    case Failure::ReadOnly:
        return tr("\n\nThe file is marked read-only: clear \"Read-only\" in its Properties, then "
                  "try again.");
    case Failure::DriveGone:
        return tr("\n\nThe drive or network share that holds it cannot be reached any more: "
                  "reconnect it, then try again.");
    default:
        return {};
    }
}

QString inUse(const QString &path)
{
    return tr("%1 is open in another program that does not share it, perhaps the game itself. "
              "Close the game or the other program, then try again.")
        .arg(path);
}

QString readDropsEdits()
{
    return tr(" Choosing Read loads the font table from the file and drops your unsaved edits.");
}

QString leased(const QString &path)
{
    return tr("%1 is in use by another program, which holds a lease on it. Close that program, "
              "then try again.")
        .arg(path);
}

QString transfer(const char *failed, const char *stopped, const Failure &f)
{
    if (f.error != 0)
        return tr(failed).arg(f.path, systemError(f.error));
    return tr(stopped).arg(f.path, QString::number(f.done), QString::number(f.expected));
}

QString what(const Failure &f)
{
    const QString &path = f.path;
    const QString error = systemError(f.error);
    switch (f.what) {
    case Failure::None:
        break;
    case Failure::FolderUnavailable:
        return tr("Cannot open the folder %1: %2.").arg(path, error);
    case Failure::NotFound:
        return tr("Cannot find %1.\n\nCopy Tessora into the folder that holds the game's "
                  "san11res.bin, then choose Read again.")
            .arg(path);
    case Failure::Spellings:
        return tr("The folder holds the game's resource file under more than one spelling of its "
                  "name:\n%1\n\nTessora cannot tell which one the game uses. Rename or move all "
                  "but that one, then choose Read again.")
            .arg(f.paths.join('\n'));
    case Failure::NotRegular:
        if (f.folder)
            return tr("%1 is a folder, not the game's resource file.").arg(path);
        return tr("%1 is not a regular file (it is a device, a pipe or a socket), so it is not the "
                  "game's resource file.")
            .arg(path);
    case Failure::NotWritable:
        if (f.cause == Failure::InUse)
            return inUse(path);
        if (f.cause == Failure::AccessDenied || f.cause == Failure::AdminOnly ||
            f.cause == Failure::ReadOnly || f.cause == Failure::ReadOnlyMedium)
            return tr("Cannot write to %1: %2.").arg(path, error) +
                   tr("\n\nTessora needs to write to the file to save your edits.") + advice(f);
        return tr("Cannot check whether %1 can be written: %2.").arg(path, error) + advice(f);
    case Failure::OpenFailed:
        if (f.cause == Failure::Leased)
            return leased(path);
        if (f.cause == Failure::InUse)
            return inUse(path);
        return (f.writing ? tr("Cannot open %1 for writing: %2.") : tr("Cannot open %1: %2."))
                   .arg(path, error) +
               advice(f);
    case Failure::CheckFailed:
        return tr("Cannot check %1: %2.").arg(path, error) + advice(f);
    case Failure::TooShort:
        return tr("%1 is too short to be the game's resource file: it holds %2 bytes, but the font "
                  "table ends at byte %3.")
            .arg(path, QString::number(f.size), QString::number(f.expected));
    case Failure::ReadFailed:
        return transfer("Reading the font table from %1 failed: %2.",
                        "Reading the font table from %1 stopped after %2 of %3 bytes.", f);
    case Failure::Vanished:
        return tr("%1 changed while Tessora was looking at it. Try again.").arg(path);
    case Failure::Gone:
        return tr("Cannot find %1 any more.").arg(path);
    case Failure::BrokenLink:
        return tr("%1 is a link to %2, which is not there: perhaps the drive that holds it is not "
                  "connected or mounted. Connect it, then try again.")
            .arg(path, f.paths.value(0));
    case Failure::FolderGone:
        return tr("The folder Tessora was started from, %1, has been deleted or moved since. "
                  "Start Tessora again from the game's folder.")
            .arg(path);
    case Failure::Replaced:
        return tr("%1 has been replaced by another file since the font table was read from it "
                  "(perhaps by the game's updater). Saving now would write your font into a file "
                  "you have not seen.")
                   .arg(path) +
               tr("\n\nYour edits stay in this window; nothing is written into that file.") +
               readDropsEdits();
    case Failure::Resized:
        return tr("%1 has changed since the font table was read from it: it now holds %2 bytes "
                  "instead of %3, so the font table may lie elsewhere in it.")
                   .arg(path, QString::number(f.size), QString::number(f.expected)) +
               readDropsEdits();
    case Failure::Locked:
        return tr("%1 is in use: another program is writing to its font table (%2). Try again in "
                  "a moment.")
            .arg(path, error);
    case Failure::Changed:
        return tr("The font table in %1 has been changed by another program, or by another "
                  "Tessora window, since it was read. Saving now would undo that change.")
                   .arg(path) +
               tr("\n\nYour edits stay in this window; nothing is written over the other "
                  "change.") +
               readDropsEdits();
    case Failure::NoRoom:
        return tr("There is no room on the disk holding %1 for the font table: %2.")
            .arg(path, error);
    case Failure::WriteFailed:
        return transfer("Writing the font table to %1 failed: %2.",
                        "Writing the font table to %1 stopped after %2 of %3 bytes.", f) +
               (f.written == Failure::PutBack
                    ? tr("\n\nThe bytes already written were put back as they were.")
                    : QString());
    case Failure::FlushFailed:
        return tr("Flushing the font table to the disk holding %1 failed: %2.").arg(path, error);
    case Failure::ReadBackFailed:
        return f.error ? tr("Reading back the font table from %1 failed: %2.").arg(path, error)
                       : tr("Reading back the font table from %1 stopped short.").arg(path);
    case Failure::ReadBackDiffers:
        return tr("The font table read back from %1 differs from what was written.").arg(path);
    case Failure::LengthChanged:
        return tr("The length of %1 changed while the font table was being saved: another "
                  "program truncated or extended it. Check the file, or restore it from your "
                  "backup.")
            .arg(path);
    case Failure::CloseFailed:
        return tr("Closing %1 failed: %2.").arg(path, error);
    }
    return {};
}

} // namespace

QString storageMessage(const Failure &failure, bool saving)
{
    if (!saving || failure.what == Failure::None)
        return what(failure);
    return what(failure) +
           (failure.written == Failure::Partly
                ? tr("\n\nThe font table in the file may be incomplete. Your edits are kept: "
                     "choose Save again once the problem is solved.")
                : tr("\n\nNothing was saved; your edits are kept."));
}

QString refusalMessage(FontEditor::Refusal refusal)
{
    switch (refusal) {
    case FontEditor::Refusal::None:
        break;
    case FontEditor::Refusal::NotRead:
        return tr("Please read san11res.bin first.");
    case FontEditor::Refusal::NoGlyph:
        return tr("Please select a Character from the Viewer Table first.");
    }
    return {};
}

QString outcomeMessage(const FontEditor::Outcome &outcome, bool saving)
{
    if (outcome.refusal != FontEditor::Refusal::None)
        return refusalMessage(outcome.refusal);
    return storageMessage(outcome.failure, saving);
}

QString imageMessage(const FontEditor::ImageProblem &problem)
{
    const QString again = tr(" Copy it again from your image editor, then paste.");
    const QString at = tr("The pixel at (%1, %2) of the image on the clipboard")
                           .arg(problem.at.x())
                           .arg(problem.at.y());
    switch (problem.what) {
    case FontEditor::ImageProblem::None:
        break;
    case FontEditor::ImageProblem::Size:
        return tr("The image on the clipboard is %1 x %2 pixels; a glyph is 8 x 16. Scale or crop "
                  "it to 8 x 16 in your image editor.")
                   .arg(problem.size.width())
                   .arg(problem.size.height()) +
               again;
    case FontEditor::ImageProblem::ToneCurve:
        return tr("The image on the clipboard is marked as %1, so its numbers are not the grays "
                  "shown on a screen. Convert it to 8-bit grayscale or sRGB in your image editor.")
                   .arg(problem.linear ? tr("linear light")
                                       : tr("another tone curve than sRGB's")) +
               again;
    case FontEditor::ImageProblem::NotOpaque:
        return at +
               tr(" is not fully opaque. Flatten the image or remove its alpha channel in your "
                  "image editor.") +
               again;
    case FontEditor::ImageProblem::NotGray:
        return at + tr(" is not gray. Convert the image to grayscale in your image editor.") +
               again;
    }
    return {};
}
