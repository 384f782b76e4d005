#include "platform/internal/Decorations.h"

#include <QByteArray>
#include <QByteArrayList>
#include <chrono>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <poll.h>

namespace platform {

namespace {

bool IsSet(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

// The client library takes WAYLAND_SOCKET out of the environment when Qt
// connects through it, so whether the program was handed a connection is
// noted as the program starts, before Qt does.
const bool g_socketHandedDown = IsSet("WAYLAND_SOCKET");

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

// The few calls of the Wayland client library that the question needs,
// looked up in the library that Qt's Wayland plugin has loaded already. The
// protocol's requests are made as the library's generated inline functions
// make them: wl_display.sync is request 0, wl_display.get_registry 1.
struct WaylandClient {
    using Connect = void* (*)(const char*);
    using Disconnect = void (*)(void*);
    using GetFd = int (*)(void*);
    using Flush = int (*)(void*);
    using Dispatch = int (*)(void*);
    using MarshalConstructor = void* (*)(void*, std::uint32_t, const void*, ...);
    using AddListener = int (*)(void*, void (**)(void), void*);
    using Destroy = void (*)(void*);

    void* library = nullptr;
    Connect connect = nullptr;
    Disconnect disconnect = nullptr;
    GetFd getFd = nullptr;
    Flush flush = nullptr;
    Dispatch dispatch = nullptr;
    MarshalConstructor marshalConstructor = nullptr;
    AddListener addListener = nullptr;
    Destroy destroy = nullptr;
    const void* registryInterface = nullptr;
    const void* callbackInterface = nullptr;

    bool Load()
    {
        library = dlopen("libwayland-client.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!library)
            return false;
        connect = reinterpret_cast<Connect>(dlsym(library, "wl_display_connect"));
        disconnect = reinterpret_cast<Disconnect>(dlsym(library, "wl_display_disconnect"));
        getFd = reinterpret_cast<GetFd>(dlsym(library, "wl_display_get_fd"));
        flush = reinterpret_cast<Flush>(dlsym(library, "wl_display_flush"));
        dispatch = reinterpret_cast<Dispatch>(dlsym(library, "wl_display_dispatch"));
        marshalConstructor = reinterpret_cast<MarshalConstructor>(dlsym(library, "wl_proxy_marshal_constructor"));
        addListener = reinterpret_cast<AddListener>(dlsym(library, "wl_proxy_add_listener"));
        destroy = reinterpret_cast<Destroy>(dlsym(library, "wl_proxy_destroy"));
        registryInterface = dlsym(library, "wl_registry_interface");
        callbackInterface = dlsym(library, "wl_callback_interface");
        return connect && disconnect && getFd && flush && dispatch && marshalConstructor && addListener
            && destroy && registryInterface && callbackInterface;
    }

    ~WaylandClient()
    {
        if (library)
            dlclose(library);
    }
};

// What the round trip learns.
struct Answer {
    bool decorationManager = false;
    bool done = false;
};

// The events of wl_registry and wl_callback, in the order the protocol
// lists them.
struct RegistryListener {
    void (*global)(void*, void*, std::uint32_t, const char*, std::uint32_t);
    void (*globalRemove)(void*, void*, std::uint32_t);
};
struct CallbackListener {
    void (*done)(void*, void*, std::uint32_t);
};

// The library takes the listeners by a pointer to non-const.
RegistryListener g_registryListener = {
    [](void* data, void*, std::uint32_t, const char* interface, std::uint32_t) {
        if (interface && std::strcmp(interface, "zxdg_decoration_manager_v1") == 0)
            static_cast<Answer*>(data)->decorationManager = true;
    },
    [](void*, void*, std::uint32_t) {},
};
CallbackListener g_callbackListener = {
    [](void* data, void*, std::uint32_t) { static_cast<Answer*>(data)->done = true; },
};

} // namespace

// The compositor's globals come in answer to get_registry, all before the
// answer to the sync request that follows it.
bool AnnouncesDecorationManager(std::chrono::milliseconds bound)
{
    WaylandClient wl;
    if (!wl.Load())
        return false;
    void* display = wl.connect(nullptr);
    if (!display)
        return false;
    Answer answer;
    void* registry = wl.marshalConstructor(display, 1, wl.registryInterface, nullptr);
    void* callback = registry ? wl.marshalConstructor(display, 0, wl.callbackInterface, nullptr) : nullptr;
    if (callback) {
        wl.addListener(registry, reinterpret_cast<void (**)(void)>(&g_registryListener), &answer);
        wl.addListener(callback, reinterpret_cast<void (**)(void)>(&g_callbackListener), &answer);
        const auto deadline = std::chrono::steady_clock::now() + bound;
        while (!answer.done) {
            if (wl.flush(display) < 0 && errno != EAGAIN)
                break;
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd fd{wl.getFd(display), POLLIN, 0};
            const int ready = poll(&fd, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno == EINTR)
                continue;
            // Readable now, so the dispatch reads without waiting.
            if (ready <= 0 || wl.dispatch(display) < 0)
                break;
        }
    }
    if (callback)
        wl.destroy(callback);
    if (registry)
        wl.destroy(registry);
    wl.disconnect(display);
    return answer.done && answer.decorationManager;
}

bool CompositorDrawsTitleBars()
{
    static const bool answer = QtUsesXdgShell() && !g_socketHandedDown && AnnouncesDecorationManager(kAnswerBound);
    return answer;
}

} // namespace platform
