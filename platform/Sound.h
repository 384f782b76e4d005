#pragma once
#include <chrono>

namespace platform {

// The alert sounds of the desktop, by message-box type (MB_ICONASTERISK,
// MB_ICONEXCLAMATION, MB_ICONHAND, MB_OK) or 0xFFFFFFFF for the plain beep.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual void MessageBeep(unsigned type) = 0;
};

// Plays the alert sound of a message-box type. The desktop's player never
// waits for the sound system and never reports anything: without a sound
// device or sound server the program simply stays silent.
void MessageBeep(unsigned type);

// Replaces the player (nullptr restores the desktop's); returns the previous one.
SoundPlayer* SetSoundPlayer(SoundPlayer* player);

// The event sound of the freedesktop sound theme that the desktop's player
// plays for a message-box type: "dialog-information", "dialog-warning",
// "dialog-error", or "bell" for MB_OK and any other type. nullptr for
// 0xFFFFFFFF, which rings the window system's plain bell instead.
const char* EventSoundName(unsigned type);

// Waits until the desktop's player has handed every requested sound to the
// sound system. False when that takes longer than `timeout`.
bool WaitForDesktopSounds(std::chrono::milliseconds timeout);

} // namespace platform
