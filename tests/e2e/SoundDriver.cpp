// Plays the eating sound as the game does (the main window's sound kind 2
// with the sound on), waits until it has been handed to the sound system,
// prints "played", and stays until its standard input closes, so that the
// sound server can be asked about the stream meanwhile.
//
// Usage: coilrunner_sound_driver   (tests/e2e/sound_test.sh runs it)

#include "app/GameDlg.h"
#include "platform/Application.h"
#include "platform/Sound.h"
#include "res/Icon.h"

#include <QApplication>
#include <chrono>
#include <cstdio>

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("coilrunner"));
    QApplication::setDesktopFileName(QStringLiteral("net.quillware.Coilrunner"));
    platform::InitApplication(app, QStringLiteral("Quillware Coilrunner"), res::MainIcon());

    CGameDlg dlg;
    dlg.m_bSound = 1;
    dlg.PlaySoundKind(2);
    // The bound is for a sound system that hangs, not a measure of speed.
    if (!platform::WaitForDesktopSounds(std::chrono::seconds(60))) {
        std::fprintf(stderr, "coilrunner_sound_driver: the sound was not handed on within 60 s\n");
        return 1;
    }
    std::printf("played\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
}
