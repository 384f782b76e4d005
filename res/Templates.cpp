#include "res/Templates.h"
#include "res/resource.h"

using namespace platform;
using K = ControlKind;

namespace res {

namespace {

constexpr ControlTemplate kGameControls[] = {
    {IDC_START, K::PushButton, "&Start!", 115, 7, 50, 14, CS_TABSTOP},
    {IDC_UP, K::PushButton, "Up", 40, 7, 29, 15, CS_TABSTOP},
    {IDC_DOWN, K::PushButton, "Down", 39, 29, 30, 15, CS_TABSTOP},
    {IDC_LEFT, K::PushButton, "Left", 6, 17, 31, 15, CS_TABSTOP},
    {IDC_RIGHT, K::PushButton, "Right", 72, 18, 33, 15, CS_TABSTOP},
    {IDC_STATIC, K::Static, "Score:", 111, 33, 26, 11, CS_LEFT},
    {IDC_SCORE, K::Edit, "", 137, 33, 28, 12, CS_RIGHT | CS_BORDER | CS_AUTOHSCROLL | CS_TABSTOP},
    {IDC_STATIC, K::GroupBox, "", 6, 44, 159, 147, CS_NONE},
    {IDC_STATIC, K::Static, "Quillware Coilrunner", 11, 56, 149, 17, CS_CENTER},
    {IDC_STATIC, K::Static, "Keyboard control:", 11, 84, 149, 9, CS_CENTER},
    {IDC_STATIC, K::Static, "Q = Up ... A = Down ... N = Left ... M = Right", 11, 96, 149, 19, CS_CENTER},
    {IDC_STATIC, K::Icon, "", 76, 125, 20, 20, CS_NONE},
    {IDC_STATIC, K::Static, "Eat the white blocks, mind the walls", 11, 164, 149, 11, CS_CENTER},
    {IDC_STATIC, K::Static, "A Quillware game for the Linux desktop", 11, 177, 149, 12, CS_CENTER},
};

constexpr ControlTemplate kAboutControls[] = {
    {IDC_STATIC, K::Icon, "", 11, 17, 20, 20, CS_NONE},
    {IDC_STATIC, K::Static, "Quillware Coilrunner Version 2.3", 40, 10, 119, 8, CS_LEFT},
    {IDC_STATIC, K::Static, "Free software, made with Qt", 40, 40, 119, 8, CS_LEFT},
    {IDOK, K::DefPushButton, "OK", 178, 7, 50, 14, CS_TABSTOP | CS_GROUP},
    {IDC_STATIC, K::Static, "Written by the Quillware team", 40, 22, 118, 9, CS_LEFT},
};

constexpr ControlTemplate kHighScoreControls[] = {
    {IDC_HS_OK, K::DefPushButton, "OK", 133, 159, 50, 14, CS_TABSTOP},
    {IDC_STATIC, K::GroupBox, "High Scores", 7, 7, 176, 148, CS_NONE},
    {IDC_STATIC, K::Static, "1.", 13, 22, 28, 12, CS_LEFT},
    {IDC_HS_NAME1, K::Static, "", 41, 22, 101, 13, CS_LEFT},
    {IDC_HS_SCORE1, K::Static, "", 135, 21, 33, 12, CS_RIGHT},
    {IDC_STATIC, K::Static, "2.", 13, 35, 28, 12, CS_LEFT},
    {IDC_HS_NAME2, K::Static, "", 41, 35, 102, 13, CS_LEFT},
    {IDC_HS_SCORE2, K::Static, "", 135, 35, 33, 12, CS_RIGHT},
    {IDC_STATIC, K::Static, "3.", 13, 48, 28, 12, CS_LEFT},
    {IDC_HS_NAME3, K::Static, "", 41, 48, 99, 13, CS_LEFT},
    {IDC_HS_SCORE3, K::Static, "", 135, 48, 33, 12, CS_RIGHT},
    {IDC_STATIC, K::Static, "4.", 13, 61, 28, 12, CS_LEFT},
    {IDC_HS_NAME4, K::Static, "", 41, 61, 101, 13, CS_LEFT},
    {IDC_HS_SCORE4, K::Static, "", 135, 61, 33, 12, CS_RIGHT},
    {IDC_STATIC, K::Static, "5.", 13, 75, 28, 12, CS_LEFT},
    {IDC_HS_NAME5, K::Static, "", 41, 75, 89, 13, CS_LEFT},
    {IDC_HS_SCORE5, K::Static, "", 135, 73, 33, 12, CS_RIGHT},
    {IDC_STATIC, K::Static, "6.", 13, 88, 28, 12, CS_LEFT},
    {IDC_HS_NAME6, K::Static, "", 41, 88, 103, 13, CS_LEFT},
    {IDC_HS_SCORE6, K::Static, "", 135, 86, 33, 12, CS_RIGHT},
    {IDC_STATIC, K::Static, "7.", 13, 101, 28, 12, CS_LEFT},
    {IDC_HS_NAME7, K::Static, "", 41, 101, 105, 13, CS_LEFT},
    {IDC_HS_SCORE7, K::Static, "", 135, 99, 33, 12, CS_RIGHT},
    {IDC_STATIC, K::Static, "8.", 13, 113, 28, 12, CS_LEFT},
    {IDC_HS_NAME8, K::Static, "", 41, 113, 105, 13, CS_LEFT},
    {IDC_HS_SCORE8, K::Static, "", 135, 112, 33, 12, CS_RIGHT},
    {IDC_STATIC, K::Static, "9.", 13, 126, 28, 12, CS_LEFT},
    {IDC_HS_NAME9, K::Static, "", 41, 126, 104, 13, CS_LEFT},
    {IDC_HS_SCORE9, K::Static, "", 135, 125, 33, 12, CS_RIGHT},
    {IDC_STATIC, K::Static, "10.", 13, 139, 28, 12, CS_LEFT},
    {IDC_HS_NAME10, K::Static, "", 41, 139, 105, 13, CS_LEFT},
    {IDC_HS_SCORE10, K::Static, "", 135, 139, 33, 12, CS_RIGHT},
};

constexpr ControlTemplate kNewHighScoreControls[] = {
    {IDC_PLAYER_NAME, K::Edit, "", 7, 39, 150, 13, CS_BORDER | CS_AUTOHSCROLL | CS_TABSTOP},
    {IDOK, K::DefPushButton, "OK", 107, 55, 50, 14, CS_TABSTOP},
    {IDC_STATIC, K::Static, "You made a new High Score!", 7, 7, 150, 11, CS_LEFT},
    {IDC_STATIC, K::Static, "Please enter your name:", 7, 20, 150, 13, CS_LEFT},
};

constexpr ControlTemplate kSettingsControls[] = {
    {IDOK, K::DefPushButton, "OK", 129, 122, 50, 14, CS_TABSTOP},
    {IDCANCEL, K::PushButton, "Cancel", 73, 122, 50, 14, CS_TABSTOP},
    {IDC_STATIC, K::GroupBox, "Speed optimized for ...", 7, 7, 172, 33, CS_NONE},
    {IDC_SPEED_9X, K::AutoRadio, "Windows\u00AE 95/98/Me", 17, 23, 85, 9, CS_GROUP},
    {IDC_SPEED_XP, K::AutoRadio, "Windows\u00AE XP", 114, 23, 62, 9, CS_NONE},
    {IDC_STATIC, K::GroupBox, "Snake color ", 7, 50, 172, 59, CS_NONE},
    {IDC_STATIC, K::BlackRect, "", 88, 65, 84, 34, CS_NONE},
    {IDC_COLOR_ORANGE, K::AutoRadio, "&Orange", 17, 63, 60, 11, CS_GROUP},
    {IDC_COLOR_BLUE, K::AutoRadio, "&Blue", 17, 76, 60, 11, CS_NONE},
    {IDC_COLOR_GREEN, K::AutoRadio, "&Green", 17, 89, 60, 11, CS_NONE},
};

constexpr MenuItemTemplate kFileItems[] = {
    {"Start &game", ID_FILE_STARTGAME, MF_STRING},
    {"&HighScores", ID_FILE_HIGHSCORES, MF_STRING},
    {"&Settings", ID_FILE_SETTINGS, MF_STRING},
    {"", 0, MF_SEPARATOR},
    {"&Play sound", ID_FILE_PLAYSOUND, MF_CHECKED},
    {"", 0, MF_SEPARATOR},
    {"&Exit", ID_FILE_EXIT, MF_STRING},
};

constexpr MenuItemTemplate kHelpItems[] = {
    {"Go to Quillware &website", ID_HELP_WEBSITE, MF_STRING},
    {"&About", ID_HELP_ABOUT, MF_STRING},
};

constexpr MenuPopupTemplate kGamePopups[] = {
    {"&File", kFileItems},
    {"&Help", kHelpItems},
};

} // namespace

const DialogTemplate kGameDialog{IDD_GAME_DIALOG, "Quillware Coilrunner", 0, 0, 172, 198,
                                 DS_CAPTION | DS_SYSMENU | DS_MODALFRAME, IDR_GAME_MENU, kGameControls};
const DialogTemplate kPlayArea{IDD_PLAYAREA, "", 7, 49, 157, 140, DS_CHILD, 0, {}};
const DialogTemplate kAboutBox{IDD_ABOUTBOX, "Info about Quillware Coilrunner", 0, 0, 235, 55,
                               DS_CAPTION | DS_SYSMENU | DS_MODALFRAME, 0, kAboutControls};
const DialogTemplate kHighScores{IDD_HIGHSCORES, "All times greatest", 0, 0, 190, 180,
                                 DS_CAPTION | DS_SYSMENU | DS_MODALFRAME, 0, kHighScoreControls};
const DialogTemplate kNewHighScore{IDD_NEWHIGHSCORE, "New High Score!", 0, 0, 164, 76,
                                   DS_CAPTION | DS_MODALFRAME, 0, kNewHighScoreControls};
const DialogTemplate kSettings{IDD_SETTINGS, "Settings", 0, 0, 186, 143,
                               DS_CAPTION | DS_SYSMENU | DS_MODALFRAME, 0, kSettingsControls};

const MenuTemplate kGameMenu{IDR_GAME_MENU, kGamePopups};

} // namespace res
