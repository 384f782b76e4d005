#pragma once
// Reading the start of a file and replacing a file's whole contents, with
// every step's result checked: the file classes of the toolkit buffer their
// writes and can report an error late, or never.

#include <QString>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace platform {

struct FileResult {
    bool ok = false;
    QString reason;   // why not, for the player: the system's words, or ours
};

// Replaces the whole contents of the file `name` (a path, relative to the
// current folder or absolute) with `bytes`. The new contents go to a temporary file beside it,
// which is written, synced to disk and closed, and then takes the file's
// place; the old file's mode and, where the process may, its owner carry
// over. Where the folder takes no new file but the file itself may be
// written, the file is rewritten in place, and its old bytes are put back
// should that fail. On any failure the file is left as it was.
//
// Only a regular file is ever replaced. A symbolic link is followed to a
// regular file, unless it stands in a folder that everyone may write to and
// that keeps others' files (sticky), and belongs neither to this process's
// user nor to the folder's owner: another user could aim it anywhere.
FileResult ReplaceFileContents(const char* name, std::string_view bytes);

struct ReadResult {
    enum Status { Read, Missing, Failed } status = Failed;
    std::string bytes;   // when Read
    QString reason;      // when Failed
};

// Reads at most `maxBytes` from the start of the regular file `name` (a path).
// Missing: there is no such file (or a link leads nowhere). Failed: it is
// not a regular file, or it cannot be opened or read.
ReadResult ReadFileStart(const char* name, std::size_t maxBytes);

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
};

// Called before each step: a result other than 0 is an error number the
// step then fails with, without being tried. nullptr for none.
using FileStepHook = std::function<int(FileStep)>;
FileStepHook SetFileStepHook(FileStepHook hook);

} // namespace platform
