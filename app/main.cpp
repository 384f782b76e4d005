#include "app/GameApp.h"
#include "platform/Application.h"
#include "res/Icon.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char* argv[])
{
    if (!platform::HasDisplay()) {
        std::fputs("coilrunner: no display found; Quillware Coilrunner needs a desktop session (X11 or Wayland).\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("coilrunner"));
    QApplication::setDesktopFileName(QStringLiteral("net.quillware.Coilrunner"));
    platform::InitApplication(app, QStringLiteral("Quillware Coilrunner"), res::MainIcon());

    CGameApp theApp;
    theApp.InitInstance();
    return 0;
}
