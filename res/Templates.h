#pragma once
#include "platform/DialogTemplate.h"
#include "platform/Menu.h"

namespace res {

extern const platform::DialogTemplate kAboutBox;       // IDD_ABOUTBOX
extern const platform::DialogTemplate kGameDialog;     // IDD_GAME_DIALOG
extern const platform::DialogTemplate kHighScores;     // IDD_HIGHSCORES
extern const platform::DialogTemplate kSettings;       // IDD_SETTINGS
extern const platform::DialogTemplate kNewHighScore;   // IDD_NEWHIGHSCORE
extern const platform::DialogTemplate kPlayArea;       // IDD_PLAYAREA

extern const platform::MenuTemplate kGameMenu;         // IDR_GAME_MENU

} // namespace res
