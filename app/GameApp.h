#pragma once

// The application object: runs the main window modally; the program ends
// when it closes.
class CGameApp {
public:
    bool InitInstance();
    // The framework's help command (ID_HELP): the standard help, a short
    // window with the controls and the rules, as there is no help file.
    static void OnHelp();
};
