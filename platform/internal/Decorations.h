#pragma once
#include <chrono>

namespace platform {

// True when the Wayland compositor draws the windows' title bars itself: it
// announces the xdg decoration manager (zxdg_decoration_manager_v1), through
// which Qt's Wayland plugin leaves the decorations of every window that is
// not frameless to the compositor and draws none of its own. Compositors
// without it (Weston, GNOME's) leave the title bars to the program.
//
// Asked once, on a short connection of its own to the compositor Qt uses
// (WAYLAND_DISPLAY, else "wayland-0"): one registry round trip, bounded for
// a compositor that stops answering. False when the answer cannot be had:
// no compositor, a connection handed down in WAYLAND_SOCKET (Qt's alone to
// use), no answer in time; and false when Qt would not use the manager, as
// with a shell integration other than xdg-shell in
// QT_WAYLAND_SHELL_INTEGRATION.
bool CompositorDrawsTitleBars();

// The round trip behind it, on a new connection to the compositor that
// WAYLAND_DISPLAY names: whether the compositor announces the decoration
// manager. False when no connection can be made, the compositor closes it,
// or no answer comes within `bound`.
bool AnnouncesDecorationManager(std::chrono::milliseconds bound);

} // namespace platform
