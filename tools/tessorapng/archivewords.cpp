// How tessora-png tells what went wrong with the archive: the same findings as Tessora's window,
// worded for the command line.

#include "tessorapng/commandline.h"

using namespace fonttable;

namespace tessorapng
{

namespace
{

// What to do about a refusal whose cause the system's words do not tell; empty otherwise.
QString advice(const Failure &f)
{
    switch (f.cause) {
    case Failure::AdminOnly:
        return QStringLiteral("; Windows lets only administrators change files under Program "
                              "Files: run the command as administrator, or keep the game in a "
                              "folder of your own");
    case Failure::ReadOnly:
        return QStringLiteral("; the file is marked read-only: clear its read-only attribute");
    case Failure::DriveGone:
        return QStringLiteral("; the drive or network share that holds it cannot be reached: "
                              "reconnect it");
    default:
        return {};
    }
}

} // namespace

QString archiveWords(const Failure &f, bool writing)
{
    const QString error = systemErrorText(f.error);
    const QString again = QStringLiteral("run the command again");
    QString what;
    switch (f.what) {
    case Failure::None:
        break;
    case Failure::FolderUnavailable:
        what = QStringLiteral("cannot open its folder: %1").arg(error);
        break;
    case Failure::NotFound:
        what = QStringLiteral("no such file: give the path of the game's san11res.bin");
        break;
    case Failure::Spellings:
        what = QStringLiteral("the folder holds the archive under several spellings of its name "
                              "(%1): give the path of the one the game uses")
                   .arg(f.paths.join(", "));
        break;
    case Failure::NotRegular:
        what = f.folder ? QStringLiteral("is a folder, not the game's archive")
                        : QStringLiteral("is a device, a pipe or a socket, not the game's "
                                         "archive");
        break;
    case Failure::NotWritable:
        what = f.cause == Failure::AccessDenied || f.cause == Failure::ReadOnlyMedium
                   ? QStringLiteral("cannot be written (%1): import writes into the archive; "
                                    "make it writable, or run as its owner")
                         .arg(error)
               : f.cause == Failure::AdminOnly || f.cause == Failure::ReadOnly
                   ? QStringLiteral("cannot be written (%1)").arg(error) + advice(f)
                   : QStringLiteral("cannot check whether it can be written: %1").arg(error);
        break;
    case Failure::OpenFailed:
        what = f.cause == Failure::Leased
                   ? QStringLiteral("in use by another program, which holds a lease on it: "
                                    "close that program, then %1")
                         .arg(again)
               : f.cause == Failure::InUse
                   ? QStringLiteral("open in another program that does not share it, perhaps "
                                    "the game itself: close the game or the other program, then "
                                    "%1")
                         .arg(again)
                   : QStringLiteral("cannot open it: %1").arg(error) + advice(f);
        break;
    case Failure::CheckFailed:
        what = QStringLiteral("cannot check it: %1").arg(error);
        break;
    case Failure::TooShort:
        what = QStringLiteral("too short to be the game's archive: it holds %1 bytes, but the "
                              "font table ends at byte %2")
                   .arg(f.size)
                   .arg(f.expected);
        break;
    case Failure::ReadFailed:
    case Failure::WriteFailed:
        what = QStringLiteral("%1 the font table %2")
                   .arg(f.what == Failure::ReadFailed ? "reading" : "writing",
                        f.error ? QStringLiteral("failed: %1").arg(error)
                                : QStringLiteral("stopped after %1 of %2 bytes")
                                      .arg(f.done)
                                      .arg(f.expected));
        break;
    case Failure::BrokenLink:
        what = QStringLiteral("is a link to %1, which is not there: connect or mount the drive "
                              "that holds it")
                   .arg(f.paths.value(0));
        break;
    case Failure::FolderGone:
        what = QStringLiteral("its folder has been deleted or moved: check the path");
        break;
    case Failure::Vanished:
    case Failure::Gone:
    case Failure::Replaced:
    case Failure::Resized:
    case Failure::Changed:
        what = QStringLiteral("another program changed, moved or replaced the archive while "
                              "tessora-png was working on it: %1")
                   .arg(again);
        break;
    case Failure::Locked:
        what = QStringLiteral("in use: another program is writing to its font table (%1); %2 "
                              "once it is done")
                   .arg(error, again);
        break;
    case Failure::NoRoom:
        what = QStringLiteral("no room on its disk for the font table (%1): free some space, then "
                              "%2")
                   .arg(error, again);
        break;
    case Failure::FlushFailed:
        what = QStringLiteral("flushing the font table to the disk failed: %1").arg(error);
        break;
    case Failure::ReadBackFailed:
        what = f.error ? QStringLiteral("reading back the font table failed: %1").arg(error)
                       : QStringLiteral("reading back the font table stopped short");
        break;
    case Failure::ReadBackDiffers:
        what = QStringLiteral("the font table read back differs from what was written");
        break;
    case Failure::LengthChanged:
        what = QStringLiteral("its length changed while the font table was written: another "
                              "program truncated or extended it; check the file, or restore it "
                              "from your backup");
        break;
    case Failure::CloseFailed:
        what = QStringLiteral("closing it failed: %1").arg(error);
        break;
    }
    if (!writing)
        return what;
    switch (f.written) {
    case Failure::Nothing:
        return what + QStringLiteral("; the archive was not changed");
    case Failure::PutBack:
        return what + QStringLiteral("; the bytes written were put back, so the archive is as it "
                                     "was");
    case Failure::Partly:
        break;
    }
    return what + QStringLiteral("; its font table may be incomplete: %1 once the problem is "
                                 "solved")
                      .arg(again);
}

} // namespace tessorapng
