// Whether the window systems answer: the X server and the Wayland
// compositor, each asked on a thread of its own that is waited for no
// longer than a bound, since the client libraries wait for an answer
// without one. It knows nothing of Qt's start or of which window system
// the program is to use.

#include "platform/internal/DisplayCheck.h"

#include <QtGlobal>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <wayland-client.h>
#include <xcb/xcb.h>

namespace platform {

namespace {

// Runs `ask` on a thread of its own and waits up to `bound` for its result.
// An ask that has not come back by then is given up: `givenUp` tells it so,
// and its result, should it still come, goes to `letGo`. A thread blocked
// for good on a server that never answers stays so, and holds nothing else.
template <typename Result>
std::optional<Result> AskOnItsOwnThread(std::chrono::milliseconds bound, Result (*ask)(const std::atomic<bool>& givenUp),
                                        void (*letGo)(Result))
{
    struct Shared {
        std::mutex mutex;
        std::condition_variable answered;
        std::optional<Result> result;
        std::atomic<bool> givenUp{false};
    };
    const auto shared = std::make_shared<Shared>();
    try {
        std::thread([shared, ask, letGo] {
            Result result = ask(shared->givenUp);
            std::lock_guard lock(shared->mutex);
            if (shared->givenUp) {
                letGo(result);
                return;
            }
            shared->result = result;
            shared->answered.notify_one();
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: asked here, as it was before it had a bound.
        return ask(shared->givenUp);
    }
    std::unique_lock lock(shared->mutex);
    if (shared->answered.wait_for(lock, bound, [&] { return shared->result.has_value(); }))
        return shared->result;
    shared->givenUp = true;
    return std::nullopt;
}

// --- the X server -------------------------------------------------------

// The connection that answered, open until Qt holds its own.
xcb_connection_t* g_heldConnection = nullptr;

// A server starting over turns clients away for well under a second; one
// that still refuses after this long is gone.
constexpr std::chrono::seconds kResetBound{3};
constexpr std::chrono::milliseconds kRetryPause{50};

void Disconnect(xcb_connection_t* connection)
{
    if (connection)
        xcb_disconnect(connection);
}

// Connects and has one request answered; asks again while the server turns
// the connection away, for a while. The connection, or nothing.
xcb_connection_t* ConnectToXServer(const std::atomic<bool>& givenUp)
{
    const auto deadline = std::chrono::steady_clock::now() + kResetBound;
    for (;;) {
        xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection) == 0) {
            // The setup that came back may be any bytes at all; an answer
            // to a request is an X server's.
            if (auto* reply = xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr)) {
                std::free(reply);
                return connection;
            }
        }
        xcb_disconnect(connection);
        if (givenUp || std::chrono::steady_clock::now() >= deadline)
            return nullptr;
        std::this_thread::sleep_for(kRetryPause);
    }
}

// --- the Wayland compositor ---------------------------------------------

bool RegistryRoundTrip(const std::atomic<bool>&)
{
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return false;
    wl_registry* registry = wl_display_get_registry(display);
    // The globals come in answer to get_registry, before the answer to the
    // sync request that the round trip sends after it.
    const bool answered = registry && wl_display_roundtrip(display) >= 0;
    if (registry)
        wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return answered;
}

void Forget(bool) {}

std::chrono::milliseconds& Patience()
{
    static std::chrono::milliseconds patience{5000};
    return patience;
}

} // namespace

std::chrono::milliseconds SetDisplayPatience(std::chrono::milliseconds patience)
{
    return std::exchange(Patience(), patience);
}

std::chrono::milliseconds DisplayPatience() { return Patience(); }

DisplayAnswer AskXServer(std::chrono::milliseconds bound)
{
    if (g_heldConnection)
        return DisplayAnswer::Answered;
    const std::optional<xcb_connection_t*> connection = AskOnItsOwnThread(bound, &ConnectToXServer, &Disconnect);
    if (!connection)
        return DisplayAnswer::Silent;
    g_heldConnection = *connection;
    return g_heldConnection ? DisplayAnswer::Answered : DisplayAnswer::NotReached;
}

void ReleaseXServerConnection()
{
    Disconnect(g_heldConnection);
    g_heldConnection = nullptr;
}

DisplayAnswer AskCompositor(std::chrono::milliseconds bound)
{
    if (!qEnvironmentVariableIsEmpty("WAYLAND_SOCKET"))
        return DisplayAnswer::Answered;
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (!(name && *name == '/') && qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return DisplayAnswer::NotReached;   // the client library would fail too, and say so
    const std::optional<bool> answered = AskOnItsOwnThread(bound, &RegistryRoundTrip, &Forget);
    if (!answered)
        return DisplayAnswer::Silent;
    return *answered ? DisplayAnswer::Answered : DisplayAnswer::NotReached;
}

} // namespace platform
