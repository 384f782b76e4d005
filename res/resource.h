#pragma once
// Identifiers of the dialog templates, controls, menu commands, strings and
// icons. Several control identifiers repeat across dialogs; each is unique
// within its own template.

#include "platform/Dialog.h"

using platform::IDC_STATIC;
using platform::IDCANCEL;
using platform::IDOK;

// Dialog templates
constexpr int IDD_ABOUTBOX = 100;
constexpr int IDD_GAME_DIALOG = 102;
constexpr int IDD_HIGHSCORES = 104;
constexpr int IDD_SETTINGS = 137;
constexpr int IDD_NEWHIGHSCORE = 138;
constexpr int IDD_PLAYAREA = 139;

// Icons and menus
constexpr int IDR_MAINFRAME = 128;
constexpr int IDR_GAME_MENU = 135;

// Strings
constexpr int IDS_ABOUTBOX = 101;

// System-menu command
constexpr unsigned IDM_ABOUTBOX = 0x0010;

// Main window
constexpr int IDC_START = 1004;
constexpr int IDC_UP = 1006;
constexpr int IDC_DOWN = 1007;
constexpr int IDC_LEFT = 1008;
constexpr int IDC_RIGHT = 1009;
constexpr int IDC_SCORE = 1012;

// High-score list
constexpr int IDC_HS_OK = 3;
constexpr int IDC_HS_NAME1 = 1014;
constexpr int IDC_HS_SCORE1 = 1015;
constexpr int IDC_HS_NAME2 = 1016;
constexpr int IDC_HS_SCORE2 = 1017;
constexpr int IDC_HS_NAME3 = 1018;
constexpr int IDC_HS_SCORE3 = 1019;
constexpr int IDC_HS_NAME4 = 1021;
constexpr int IDC_HS_NAME5 = 1022;
constexpr int IDC_HS_NAME6 = 1023;
constexpr int IDC_HS_SCORE4 = 1024;
constexpr int IDC_HS_SCORE5 = 1025;
constexpr int IDC_HS_SCORE6 = 1026;
constexpr int IDC_HS_NAME7 = 1027;
constexpr int IDC_HS_NAME8 = 1028;
constexpr int IDC_HS_NAME9 = 1029;
constexpr int IDC_HS_SCORE7 = 1030;
constexpr int IDC_HS_SCORE8 = 1031;
constexpr int IDC_HS_SCORE9 = 1032;
constexpr int IDC_HS_NAME10 = 1033;
constexpr int IDC_HS_SCORE10 = 1034;

// Name entry
constexpr int IDC_PLAYER_NAME = 1025;

// Settings
constexpr int IDC_SPEED_9X = 1022;
constexpr int IDC_SPEED_XP = 1023;
constexpr int IDC_COLOR_ORANGE = 1024;
constexpr int IDC_COLOR_BLUE = 1025;
constexpr int IDC_COLOR_GREEN = 1026;

// Menu commands
constexpr unsigned ID_HELP_ABOUT = 32771;
constexpr unsigned ID_FILE_EXIT = 32772;
constexpr unsigned ID_FILE_HIGHSCORES = 32773;
constexpr unsigned ID_FILE_STARTGAME = 32774;
constexpr unsigned ID_FILE_SETTINGS = 32777;
constexpr unsigned ID_HELP_WEBSITE = 32778;
constexpr unsigned ID_FILE_PLAYSOUND = 32779;

// The framework's help command
constexpr unsigned ID_HELP = 0xE146;
