#include "platform/Sound.h"

#include <QApplication>

namespace platform {

namespace {

class DesktopSound : public SoundPlayer {
public:
    void MessageBeep(unsigned) override { QApplication::beep(); }
};

DesktopSound g_desktop;
SoundPlayer* g_player = nullptr;

} // namespace

void MessageBeep(unsigned type)
{
    (g_player ? g_player : &g_desktop)->MessageBeep(type);
}

SoundPlayer* SetSoundPlayer(SoundPlayer* player)
{
    SoundPlayer* previous = g_player;
    g_player = player;
    return previous;
}

} // namespace platform
