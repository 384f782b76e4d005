#pragma once
// Reading the start of a file and replacing a file's whole contents, with
// every step's result checked: the file classes of the toolkit buffer their
// writes and can report an error late, or never.
//
// Readers and writers of a file take a lock on the folder that holds it
// (the folder where the last link leads): shared to read, exclusive to
// write, so that no reader sees a file half rewritten in place and no two
// writers interleave. The folder is locked rather than the file because a
// replace puts a new file under the name, and a lock on the old one would no
// longer guard it; and rather than a lock file beside it because a folder
// that takes no new file (where the file is rewritten in place) could hold
// none. A file system that offers no locks is read and written without, and
// so is a folder this user may write and enter but not list (mode 0300),
// which they cannot open to lock: there a save only replaces the file
// through its temporary file, never rewrites it in place.

#include <QString>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace platform {

struct FileResult {
    bool ok = false;
    QString reason;        // why not, for the player: the system's words, or ours
    bool written = false;  // the file holds the new contents; also when the
                           // folder's sync failed after the replace
};

// Replaces the whole contents of the file `name` (a path, relative to the
// current folder or absolute) with `bytes`. The new contents go to a temporary file beside it,
// which is written, synced to disk and closed, and then takes the file's
// place; the old file's mode and, where the process may, its owner carry
// over. Where the folder takes no new file but the file itself may be
// written, the file is rewritten in place, and its old bytes are put back
// should that fail. On any failure the file is left as it was. Temporary
// files that earlier saves of this user, killed part way, left beside the
// file are removed.
//
// Only a regular file is ever replaced. A symbolic link is followed only
// where it belongs to this process's user: another user could aim it at any
// of the user's files. A link on the way to a folder may also be root's
// (some systems keep /home as a link), since root may write anywhere anyway.
FileResult ReplaceFileContents(const char* name, std::string_view bytes);

struct ReadResult {
    enum Status { Read, Missing, Failed } status = Failed;
    std::string bytes;   // when Read
    QString reason;      // when Failed
};

// Reads at most `maxBytes` from the start of the regular file `name` (a path),
// following links as ReplaceFileContents does. Missing: there is no such
// file (or a link leads nowhere). Failed: it is not a regular file, a link
// of another user, or it cannot be opened or read, or the lock cannot be had.
ReadResult ReadFileStart(const char* name, std::size_t maxBytes);

// What an update makes of the contents the file holds when it is taken.
struct Update {
    bool write = false;
    std::string bytes;   // when write: the new contents
    QString reason;      // when not: why nothing is written
};

// Takes the file under the exclusive lock, reads at most `maxBytes` of what
// it holds now (as ReadFileStart does), and writes what `decide` makes of
// that as ReplaceFileContents does; the lock is held from before the read
// until the new contents stand.
FileResult UpdateFileContents(const char* name, std::size_t maxBytes,
                              const std::function<Update(const ReadResult& now)>& decide);

// How long a reader or a writer waits for the lock before it gives up (5
// seconds unless set); the previous value.
std::chrono::milliseconds SetLockPatience(std::chrono::milliseconds patience);

// The system's words for an error number, read in the character set of the
// locale the program runs in.
QString SystemReason(int error);

// The steps of the two operations, each one system call. Tests make any of
// them fail as the system would, and learn how far an operation has come.
enum class FileStep {
    OpenFolder,    // the folder that holds the file
    Inspect,       // what stands under the name; whether it may be written
    CreateTemp,    // the temporary file beside it
    KeepOwner,     // the old file's owner and group, onto the new file
    KeepMode,      // the old file's mode, onto the new file
    Write,         // one write of (part of) the contents
    Sync,          // the file's contents to disk
    Close,
    Replace,       // the temporary file takes the file's place
    SyncFolder,    // the folder's new entry to disk
    OpenInPlace,   // the file itself, to be rewritten where it stands
    ReadOld,       // one read of the old contents, kept to put back
    Truncate,      // the file cut to the new length
    Restore,       // putting the old contents back after a failure
    Open,          // the file, for reading
    Read,          // one read
    Lock,          // the lock on the folder, before it is tried
};

// Called before each step: a result other than 0 is an error number the
// step then fails with, without being tried. nullptr for none.
using FileStepHook = std::function<int(FileStep)>;
FileStepHook SetFileStepHook(FileStepHook hook);

} // namespace platform
