#pragma once
#include <chrono>

namespace platform {

// How long the display check (HasDisplay) waits for a window system's
// answer, 5 seconds unless a test sets another; gives the one before. A
// stopped or hung server accepts the connection and then says nothing, and
// a call without a bound would wait for it for ever.
std::chrono::milliseconds SetDisplayPatience(std::chrono::milliseconds patience);
std::chrono::milliseconds DisplayPatience();

enum class DisplayAnswer {
    Answered,     // it answered a round trip
    NotReached,   // nothing there, the connection refused or broken off
    Silent,       // no answer within the bound
};

// Asks the X server that DISPLAY names, as Qt's xcb plugin connects to it
// (its Xauthority cookie, the abstract and the file socket, or host:n over
// TCP), to answer one request after its connection setup. A server that
// turns the connection away is asked again for 3 seconds, since one that is
// starting over (as one does when its last client leaves) turns everyone
// away meanwhile. The connection that answered is held, so that such a
// server does not start over before Qt connects, until
// ReleaseXServerConnection; while it is held the server counts as answered.
DisplayAnswer AskXServer(std::chrono::milliseconds bound);
void ReleaseXServerConnection();

// Asks the Wayland compositor that WAYLAND_DISPLAY names (else "wayland-0",
// in XDG_RUNTIME_DIR), as Qt's Wayland plugin connects to it, for its
// registry, on a connection of its own that is closed again: one round
// trip. A compositor that answers with bytes that are no Wayland protocol
// is not reached. A connection handed down in WAYLAND_SOCKET is Qt's alone
// to use and counts as answered.
DisplayAnswer AskCompositor(std::chrono::milliseconds bound);

} // namespace platform
