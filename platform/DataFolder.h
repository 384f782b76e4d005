#pragma once
// The player's data folder for the game, ${XDG_DATA_HOME:-$HOME/.local/share}/<name>:
// where it lies, made where it is missing, and made the current folder; and
// the folder the process started in, to go back to.

#include <QString>

#include <string>

namespace platform {

struct DataFolder {
    std::string base;    // a folder that must exist already; "" when none is known
    std::string below;   // the folders under `base` that are made where missing
    std::string home;    // the player's home folder; "" when none is known
    QString reason;      // when `base` is "": why there is no data folder

    // The whole path, base and below.
    std::string Path() const;
};

// Where the data folder `name` lies for this process, by the base-directory
// rules: under XDG_DATA_HOME when that is an absolute path (a relative or
// empty one is ignored), else under .local/share in the home folder. The
// home folder is HOME when that is an absolute path, else the one the user
// database gives this user; it is never made, XDG_DATA_HOME is.
DataFolder FindDataFolder(const char* name);

// Makes the folders of `below` under `base` that are missing, each with mode
// 700, and makes the last one the current folder. Links on the way are
// followed (a player may keep .local elsewhere). False, with the reason in
// the system's words or ours, when a folder cannot be made or entered or the
// last one belongs to another user; the current folder is then unchanged.
bool EnterDataFolder(const DataFolder& folder, QString& reason);

// The current folder as it was when this was made, held open, so that the
// process can go back to it even where its path no longer leads there.
class StartFolder {
public:
    StartFolder();
    ~StartFolder();
    StartFolder(const StartFolder&) = delete;
    StartFolder& operator=(const StartFolder&) = delete;

    // Its path, for the player; "" when the system cannot tell it.
    const std::string& Path() const { return m_path; }
    // Makes it the current folder again. False when that fails.
    bool Return() const;

private:
    int m_fd;
    std::string m_path;
};

} // namespace platform
