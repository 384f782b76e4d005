#pragma once

// A start from the menu entry, which passes --data-folder: the game runs in
// the player's data folder, ${XDG_DATA_HOME:-~/.local/share}/coilrunner,
// whatever folder the launcher was in, and still opens "HiScores.ini" by
// that name.
//
// Makes the data folder the current folder; where it holds no table, a
// table that earlier starts left in the home folder is copied into it, byte
// for byte (the home folder's copy stays: a start from a terminal there
// still uses it). Where the data folder cannot be made or entered, or the
// table cannot be copied, the game stays in the folder it was started in,
// as without the option, and one message box (and the same line on
// standard error) says why. True when the game runs in the data folder.
bool StartInDataFolder();
