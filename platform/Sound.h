#pragma once

namespace platform {

// The alert sounds of the desktop, by message-box type (MB_ICONASTERISK,
// MB_ICONEXCLAMATION, MB_ICONHAND, MB_OK) or 0xFFFFFFFF for the plain beep.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual void MessageBeep(unsigned type) = 0;
};

void MessageBeep(unsigned type);

// Replaces the player (nullptr restores the desktop's); returns the previous one.
SoundPlayer* SetSoundPlayer(SoundPlayer* player);

} // namespace platform
