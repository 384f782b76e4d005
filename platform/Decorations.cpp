// Whether the Wayland compositor draws the windows' title bars: one registry
// round trip on a short connection of the program's own. It knows nothing of
// Qt's windows or of the caption bar that asks it.

#include "platform/internal/Decorations.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QtGlobal>
#include <chrono>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <poll.h>
#include <wayland-client.h>

namespace platform {

namespace {

// The client library takes WAYLAND_SOCKET out of the environment when Qt
// connects through it, so whether the program was handed a connection is
// noted as the program starts, before Qt does.
const bool g_socketHandedDown = !qEnvironmentVariableIsEmpty("WAYLAND_SOCKET");

// A compositor that accepts the connection but sends nothing back would
// freeze Qt as well; the bound only keeps the question from hanging.
constexpr std::chrono::milliseconds kAnswerBound{5000};

// Qt asks for the compositor's decorations through its xdg-shell
// integration: the one it takes unless QT_WAYLAND_SHELL_INTEGRATION names
// another first.
bool QtUsesXdgShell()
{
    const QByteArray chosen = qgetenv("QT_WAYLAND_SHELL_INTEGRATION").trimmed();
    return chosen.isEmpty() || chosen.split(';').constFirst().trimmed() == "xdg-shell";
}

// What the round trip learns.
struct Answer {
    bool decorationManager = false;
    bool done = false;
};

void OnGlobal(void* data, wl_registry*, std::uint32_t, const char* interface, std::uint32_t)
{
    if (interface && std::strcmp(interface, "zxdg_decoration_manager_v1") == 0)
        static_cast<Answer*>(data)->decorationManager = true;
}
void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}
void OnDone(void* data, wl_callback*, std::uint32_t) { static_cast<Answer*>(data)->done = true; }

constexpr wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};
constexpr wl_callback_listener kCallbackListener = {OnDone};

} // namespace

// The compositor's globals come in answer to get_registry, all before the
// answer to the sync request that follows it.
bool AnnouncesDecorationManager(std::chrono::milliseconds bound)
{
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return false;
    Answer answer;
    wl_registry* registry = wl_display_get_registry(display);
    wl_callback* callback = registry ? wl_display_sync(display) : nullptr;
    if (callback) {
        wl_registry_add_listener(registry, &kRegistryListener, &answer);
        wl_callback_add_listener(callback, &kCallbackListener, &answer);
        const auto deadline = std::chrono::steady_clock::now() + bound;
        while (!answer.done) {
            if (wl_display_flush(display) < 0 && errno != EAGAIN)
                break;
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd fd{wl_display_get_fd(display), POLLIN, 0};
            const int ready = poll(&fd, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno == EINTR)
                continue;
            // Readable now, so the dispatch reads without waiting.
            if (ready <= 0 || wl_display_dispatch(display) < 0)
                break;
        }
    }
    if (callback)
        wl_callback_destroy(callback);
    if (registry)
        wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return answer.done && answer.decorationManager;
}

bool CompositorDrawsTitleBars()
{
    static const bool answer = QtUsesXdgShell() && !g_socketHandedDown && AnnouncesDecorationManager(kAnswerBound);
    return answer;
}

} // namespace platform
