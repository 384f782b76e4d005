// Runs the real main window on an X display for the accessibility test
// (tests/e2e/accessibility_test.sh), where a screen-reader client inspects
// it over AT-SPI. Commands, one a line on standard input:
//
//   settings   opens the settings dialog, as its menu item does
//   start      starts a game, as the Start button does, and makes its first
//              ticks; the timer is stopped then, so that the snake waits
//              for the next command however long it takes
//   tick       one step of the snake, which eats nothing
//   feed       puts the food in front of the head of the snake, which
//              moves right, and ticks: the snake eats it
//
// The program ends when its standard input closes.

#include "app/GameDlg.h"
#include "platform/Application.h"
#include "res/Icon.h"
#include "res/resource.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <string>
#include <unistd.h>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("coilrunner"));
    QApplication::setDesktopFileName(QStringLiteral("net.quillware.Coilrunner"));
    platform::InitApplication(app, QStringLiteral("Quillware Coilrunner"), res::MainIcon());

    CGameDlg dlg;
    platform::SetMainDialog(&dlg);

    std::string line;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char c;
        if (read(STDIN_FILENO, &c, 1) != 1) {
            input.setEnabled(false);
            QCoreApplication::exit(0);   // every loop, the dialogs' too
            return;
        }
        if (c != '\n') {
            line += c;
            return;
        }
        const std::string command = line;
        line.clear();
        if (command == "settings") {
            // From the event loop, as a menu click comes: the dialog runs
            // its own loop, in which these commands still arrive.
            QTimer::singleShot(0, [&] { dlg.SendCommand(ID_FILE_SETTINGS); });
        } else if (command == "start" && dlg.m_nFieldReady == 0) {
            dlg.OnStart();
            dlg.KillTimer(1);
            for (int tick = 0; tick < 3; ++tick)
                dlg.OnTimer(1);
            std::printf("started\n");
        } else if (command == "tick" && dlg.m_nFieldReady != 0) {
            dlg.OnTimer(1);
            std::printf("ticked\n");
        } else if (command == "feed" && dlg.m_nFieldReady != 0 && dlg.HasFood() && dlg.m_nDir == game::DIR_RIGHT) {
            dlg.m_nFoodX = dlg.m_nHeadX + 1;
            dlg.m_nFoodY = dlg.m_nHeadY;
            dlg.OnTimer(1);
            std::printf("score %d\n", dlg.m_nScore);
        } else {
            std::printf("cannot %s now\n", command.c_str());
        }
        std::fflush(stdout);
    });

    dlg.DoModal();
    platform::SetMainDialog(nullptr);
    return 0;
}
