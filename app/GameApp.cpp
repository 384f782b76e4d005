#include "app/GameApp.h"
#include "app/GameDlg.h"
#include "platform/Modal.h"

#include <QString>

bool CGameApp::InitInstance()
{
    platform::SetAppHelp(&CGameApp::OnHelp);
    CGameDlg dlg;
    platform::SetMainDialog(&dlg);
    dlg.DoModal();
    platform::SetMainDialog(nullptr);
    return false;
}

void CGameApp::OnHelp()
{
    platform::MessageBox(
        platform::MainWindow(),
        QStringLiteral(
            "Quillware Coilrunner\n\n"
            "Start a game with \"Start!\" or File > Start game.\n\n"
            "Steer the snake with the Up, Down, Left and Right buttons, or with the keys "
            "Q (up), A (down), N (left) and M (right).\n\n"
            "Each white block eaten scores 10 points, makes the snake longer and the game "
            "faster. Running into a wall or into the snake's own body ends the game.\n\n"
            "The ten best scores are kept in \"HiScores.ini\" in the folder the game was "
            "started from; started from the application menu, in the data folder "
            "~/.local/share/coilrunner. File > Settings picks the snake's colours and the "
            "starting speed."),
        platform::MB_ICONASTERISK);
}
