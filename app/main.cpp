#include "app/GameApp.h"
#include "platform/Application.h"
#include "res/Icon.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char* argv[])
{
    if (!platform::HasDisplay()) {
        std::fputs("coilrunner: no display could be reached; Quillware Coilrunner needs a desktop session (X11 or Wayland).\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("coilrunner"));
    // The application id names the installed .desktop file (and its icon): the
    // compositor matches the window to it on Wayland. On X11 the window class
    // comes from the application name, which the .desktop file repeats as
    // StartupWMClass. cmake/Install.cmake defines COILRUNNER_APP_ID.
    QApplication::setDesktopFileName(QStringLiteral(COILRUNNER_APP_ID));
    platform::InitApplication(app, QStringLiteral("Quillware Coilrunner"), res::MainIcon());

    CGameApp theApp;
    theApp.InitInstance();
    return 0;
}
