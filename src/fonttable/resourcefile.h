#pragma once

#include "fonttable/fonttable.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

#include "fonttable/filecalls.h"

// Reading and writing the font block in place in the game's archive. The archive is the user's
// only copy of their game data, so it is opened only if it is an existing regular file, never
// created, grown or truncated, and every failure is reported, as a Failure that each front end
// words for its users, instead of being ignored. A Save writes only over the font table that the
// last Read (or Save) left there: the archive must be the same file, of the same length, with the
// same bytes in the block. What is decided here is the same on every system; the system calls
// behind it are in resourcefile_unix.cpp and resourcefile_win.cpp.
namespace fonttable
{

// The folder that holds the archive, taken as bytes so that a name in any encoding works, and
// held open for the whole run so that the archive is always looked for in that same folder.
class Folder
{
public:
    // On Windows the path is UTF-8.
    explicit Folder(const QByteArray &path);
    ~Folder();
    Folder(Folder &&other) noexcept;
    Folder &operator=(Folder &&) = delete;

    // The folder of the program: on Windows the folder of its executable; elsewhere where its
    // command, or the link to it that the user placed, lies; through PATH as the shell found it.
    static Folder ofProgram(const char *argv0);

    NativeHandle handle() const { return m_handle; }
    QString display() const { return m_display; } // for messages only
    int error() const { return m_error; }         // of opening it; 0 when it is open
    // Whether the folder has been deleted, or moved away from where it was opened, since.
    bool gone() const;

private:
    NativeHandle m_handle = InvalidHandle;
    QByteArray m_path; // absolute
    QString m_display;
    int m_error = 0;
};

// What went wrong with the archive, as data: the window and tessora-png each put it in words
// that fit where they are shown.
struct Failure {
    enum What {
        None,
        FolderUnavailable, // the folder itself cannot be opened
        NotFound,
        Spellings,   // more than one spelling of the archive's name; paths lists them
        NotRegular,  // a folder (folder is true), device, pipe or socket
        NotWritable, // Read: asking whether the file could be written failed with error
        OpenFailed,  // writing tells which way it was opened
        CheckFailed, // fstat
        TooShort,    // size bytes, expected at least
        ReadFailed,  // error, or stopped after done bytes when error is 0
        Vanished,    // changed while it was looked at: there a moment ago, now not
        Gone,        // Save: the file the Read found is not there any more
        BrokenLink,  // the name is a link to paths.first(), which is not there
        FolderGone,  // the folder was deleted or moved away since the program started
        Replaced,    // another file (device and inode) since the Read
        Resized,     // size bytes now, expected at the Read
        Locked,      // another program holds a lock on the block
        Changed,     // the block differs from what the Read found
        NoRoom,      // reserving the block's space failed with error
        WriteFailed, // error, or stopped after done bytes when error is 0
        FlushFailed,
        ReadBackFailed, // error, or stopped short when error is 0
        ReadBackDiffers,
        LengthChanged, // while the table was being written
        CloseFailed,
    };
    // How much of the archive a failed Save changed.
    // What the system's error means, where the front ends say more than the system's own words.
    enum Cause {
        Other,
        AccessDenied,
        AdminOnly, // access denied in a folder that only administrators may change
        ReadOnly,  // the file is marked read-only
        ReadOnlyMedium,
        InUse,  // another program has the file open and refuses to share it
        Leased, // another program holds a lease and is asked to let go first
        LockedByOther,
        NoSpace,
        DriveGone, // the network share or removable drive holding it went away
        Unsupported,
    };
    enum Written {
        Nothing, // the archive is as it was
        PutBack, // bytes were written, then the old ones put back
        Partly,  // the block may hold a mix of the old and the new table
    };

    What what = None;
    QString path;  // the file, as messages show it
    int error = 0; // the system's error code: errno, or on Windows GetLastError()
    Cause cause = Other;
    qint64 done = 0, size = 0, expected = 0;
    bool folder = false;
    bool writing = false;
    QStringList paths;
    Written written = Nothing;
};

// Which file a Read found, and what it held: a Save writes only over exactly that. The file is
// known by its device and inode (on Windows its volume and file ID), except on file systems that
// make inode numbers up each time a file is looked up (FUSE, FAT, exFAT, SMB): there by its device
// and length, and on all of them by the block's bytes.
struct Archive {
    QByteArray name; // in the folder; may be another spelling of the archive's name
    quint64 device = 0;
    quint64 file = 0;
    qint64 size = 0;
    FontTable base; // the block as read, or as last saved
    // What a Save that failed part way tried to write: the block may hold a mix of it and base.
    std::optional<FontTable> attempted;
};

struct ReadResult {
    Failure failure;
    Archive archive;

    bool ok() const { return failure.what == Failure::None; }
};

struct WriteResult {
    Failure failure; // None when the block is on the disk and reads back as written

    bool ok() const { return failure.what == Failure::None; }
};

// The path of a file in the folder, as messages show it.
QString displayPath(const Folder &folder, const QByteArray &name);

// The system's own words for one of its error codes.
QString systemErrorText(int error);

// Whether a Read asks first that the archive could be written, as it must be for a later Save.
enum class Access { ToSave, ReadOnly };

// Opens the archive for reading only, after checking that it is a regular file that could be
// written, and reads the block.
ReadResult readBlock(const Folder &folder, const FileCalls &calls = {});
// The same for a file of any name, such as a copy of the archive.
ReadResult readBlock(const Folder &folder, const QByteArray &name, Access access = Access::ToSave,
                     const FileCalls &calls = {});

// Writes the table over the archive's block, under a lock, after checking that the archive is
// still what the Read found; then flushes it and compares what the disk holds. On success
// archive.base becomes the table.
WriteResult writeBlock(const Folder &folder, Archive &archive, const FontTable &table,
                       const FileCalls &calls = {});

} // namespace fonttable
