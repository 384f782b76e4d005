#pragma once
#include <cstdint>

class QKeyEvent;
struct xkb_keymap;

namespace platform {

// The virtual-key code of a Qt key: letters and digits as their upper-case
// characters, function keys from 0x70; 0 for keys without one.
unsigned VirtualKeyOf(int qtKey);

// The virtual-key code of a key press, as the key handlers of the dialogs
// receive it. A letter key counts by the letter the active layout prints on
// it where that is a Latin letter (on a French keyboard the key beside Tab
// is A); in a layout of another script (Russian, Greek, Hebrew, ...) the
// letter keys count by their place, as the letter a US keyboard has there.
// Shift, Caps Lock and AltGr do not change a letter key's code. Every other
// key is VirtualKeyOf(event.key()), but never a letter code; a key press
// without the window system's key code (one a program makes up, or any on a
// platform whose keymap is not known) is VirtualKeyOf(event.key()) as it is.
unsigned VirtualKeyOf(const QKeyEvent& event);

// A key press as the window system reports it.
struct NativeKey {
    int qtKey = 0;              // QKeyEvent::key()
    std::uint32_t keycode = 0;  // the xkb key code (QKeyEvent::nativeScanCode())
    std::uint32_t keysym = 0;   // the symbol the key gave (QKeyEvent::nativeVirtualKey())
    int group = -1;             // the active layout group, or -1 where not reported
};

// The translation itself, for the keymap given (nullptr: none is known).
// Where the group is not reported it is the one in which the key gives the
// symbol it gave.
unsigned VirtualKeyOf(xkb_keymap* keymap, const NativeKey& key);

// Tests: VirtualKeyOf(QKeyEvent) uses this keymap instead of the window
// system's, the group taken from the native modifiers as X11 reports it (bits
// 13 and 14). nullptr goes back to the window system's. The keymap is
// referenced while it is in use.
void SetKeymapForTesting(xkb_keymap* keymap);

} // namespace platform
