// Telling the Wayland compositor that a window is a modal dialog: through
// xdg_wm_dialog_v1 where the compositor announces it, else through
// gtk_shell1's gtk_surface1.set_modal, else not at all. The compositor's
// globals are learnt once, on Qt's own connection with an event queue of
// this file's own; the windows' surfaces and toplevels come from Qt's native
// interface. It knows nothing of what a dialog holds or of the game.

#include "platform/internal/ModalHint.h"

#include <QGuiApplication>
#include <QLibraryInfo>
#include <QVersionNumber>
#include <QWidget>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <wayland-client.h>

#include "gtk-shell-client-protocol.h"
#include "xdg-dialog-v1-client-protocol.h"

namespace platform {

namespace {

constexpr char kXdgDialog[] = "xdg_wm_dialog_v1";
constexpr char kGtkShell[] = "gtk_shell1";

// A compositor that stops answering would freeze Qt as well; the bound only
// keeps the first dialog from waiting for it.
constexpr std::chrono::milliseconds kAnswerBound{5000};

struct Registry {
    struct Entry {
        std::uint32_t name;
        WaylandGlobal global;
    };
    std::vector<Entry> entries;
};

void OnGlobal(void* data, wl_registry*, std::uint32_t name, const char* interface, std::uint32_t version)
{
    if (interface)
        static_cast<Registry*>(data)->entries.push_back({name, {interface, version}});
}
void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}
constexpr wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

void OnDone(void* data, wl_callback* callback, std::uint32_t)
{
    *static_cast<bool*>(data) = true;
    wl_callback_destroy(callback);
}
constexpr wl_callback_listener kCallbackListener = {OnDone};

// A round trip on `queue` alone, bounded. Qt's own thread may read the
// connection at the same time: the prepare-read protocol hands whatever
// either reads to the queue it belongs to.
bool RoundTrip(wl_display* display, wl_event_queue* queue, wl_display* wrapper, std::chrono::milliseconds bound)
{
    bool done = false;
    wl_callback* callback = wl_display_sync(wrapper);
    if (!callback)
        return false;
    wl_callback_add_listener(callback, &kCallbackListener, &done);
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!done) {
        if (wl_display_dispatch_queue_pending(display, queue) < 0)
            break;
        if (done || wl_display_prepare_read_queue(display, queue) != 0)
            continue;
        if (wl_display_flush(display) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(display);
            break;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd fd{wl_display_get_fd(display), POLLIN, 0};
        const int ready = left.count() > 0 ? poll(&fd, 1, static_cast<int>(left.count())) : 0;
        if (ready <= 0) {
            wl_display_cancel_read(display);
            if (ready < 0 && errno == EINTR)
                continue;
            break;
        }
        if (wl_display_read_events(display) < 0)
            break;
    }
    if (!done)
        wl_callback_destroy(callback);
    return done;
}

} // namespace

ModalProtocol ChooseModalProtocol(const std::vector<WaylandGlobal>& globals, bool toolkitUsesXdgDialog)
{
    const auto announced = [&](const char* interface) {
        return std::any_of(globals.begin(), globals.end(),
                           [&](const WaylandGlobal& g) { return g.interface == interface && g.version >= 1; });
    };
    if (announced(kXdgDialog))
        return toolkitUsesXdgDialog ? ModalProtocol::None : ModalProtocol::XdgDialog;
    return announced(kGtkShell) ? ModalProtocol::GtkShell : ModalProtocol::None;
}

bool ToolkitUsesXdgDialog()
{
    return QLibraryInfo::version() >= QVersionNumber(6, 8);
}

// --- the protocol side -------------------------------------------------------

std::unique_ptr<ModalAnnouncer> ModalAnnouncer::Create(wl_display* display, bool toolkitUsesXdgDialog,
                                                       std::chrono::milliseconds bound)
{
    if (!display)
        return nullptr;
    std::unique_ptr<ModalAnnouncer> announcer(new ModalAnnouncer(display));
    announcer->m_queue = wl_display_create_queue(display);
    if (!announcer->m_queue)
        return nullptr;
    auto* wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
    if (!wrapper)
        return nullptr;
    announcer->m_wrapper = reinterpret_cast<wl_proxy*>(wrapper);
    wl_proxy_set_queue(announcer->m_wrapper, announcer->m_queue);

    Registry registry;
    wl_registry* proxy = wl_display_get_registry(wrapper);
    if (!proxy)
        return nullptr;
    wl_registry_add_listener(proxy, &kRegistryListener, &registry);
    // The globals come in answer to get_registry, all before the answer to
    // the sync request that follows it.
    const bool answered = RoundTrip(display, announcer->m_queue, wrapper, bound);
    std::vector<WaylandGlobal> globals;
    for (const Registry::Entry& entry : registry.entries)
        globals.push_back(entry.global);
    announcer->m_protocol = answered ? ChooseModalProtocol(globals, toolkitUsesXdgDialog) : ModalProtocol::None;

    const char* wanted = announcer->m_protocol == ModalProtocol::XdgDialog ? kXdgDialog
                       : announcer->m_protocol == ModalProtocol::GtkShell  ? kGtkShell
                                                                           : nullptr;
    const wl_interface* interface = announcer->m_protocol == ModalProtocol::XdgDialog ? &xdg_wm_dialog_v1_interface
                                                                                       : &gtk_shell1_interface;
    for (const Registry::Entry& entry : registry.entries) {
        if (!wanted || entry.global.interface != wanted)
            continue;
        announcer->m_version = std::min(entry.global.version, static_cast<std::uint32_t>(interface->version));
        announcer->m_global =
            static_cast<wl_proxy*>(wl_registry_bind(proxy, entry.name, interface, announcer->m_version));
        break;
    }
    // Nothing more is wanted of the registry; what it would still say goes
    // to an object the client library no longer knows, and is dropped.
    wl_registry_destroy(proxy);
    if (!answered)
        return nullptr;
    if (!announcer->m_global)
        announcer->m_protocol = ModalProtocol::None;
    return announcer;
}

ModalAnnouncer::~ModalAnnouncer()
{
    for (const auto& [key, dialog] : m_dialogs)
        Destroy(dialog);
    m_dialogs.clear();
    if (m_global) {
        if (m_protocol == ModalProtocol::XdgDialog)
            xdg_wm_dialog_v1_destroy(reinterpret_cast<xdg_wm_dialog_v1*>(m_global));
        else
            gtk_shell1_destroy(reinterpret_cast<gtk_shell1*>(m_global));
    }
    if (m_wrapper)
        wl_proxy_wrapper_destroy(m_wrapper);
    if (m_queue) {
        // Events still queued for the objects above are dropped with it.
        wl_display_dispatch_queue_pending(m_display, m_queue);
        wl_event_queue_destroy(m_queue);
    }
}

bool ModalAnnouncer::Announce(const void* key, wl_surface* surface, xdg_toplevel* toplevel)
{
    // A window shown again has a new surface and toplevel: the object made
    // for the old ones goes first.
    Withdraw(key);
    wl_proxy* dialog = nullptr;
    if (m_protocol == ModalProtocol::XdgDialog && toplevel) {
        xdg_dialog_v1* object = xdg_wm_dialog_v1_get_xdg_dialog(reinterpret_cast<xdg_wm_dialog_v1*>(m_global), toplevel);
        if (object)
            xdg_dialog_v1_set_modal(object);
        dialog = reinterpret_cast<wl_proxy*>(object);
    } else if (m_protocol == ModalProtocol::GtkShell && surface) {
        gtk_surface1* object = gtk_shell1_get_gtk_surface(reinterpret_cast<gtk_shell1*>(m_global), surface);
        if (object)
            gtk_surface1_set_modal(object);
        dialog = reinterpret_cast<wl_proxy*>(object);
    }
    if (!dialog)
        return false;
    m_dialogs[key] = dialog;
    return true;
}

void ModalAnnouncer::Withdraw(const void* key)
{
    const auto it = m_dialogs.find(key);
    if (it != m_dialogs.end()) {
        Destroy(it->second);
        m_dialogs.erase(it);
    }
    // The gtk_surface1 objects get configure events nobody listens to; they
    // are dropped here, so the queue holds at most those since the last call.
    wl_display_dispatch_queue_pending(m_display, m_queue);
}

void ModalAnnouncer::Destroy(wl_proxy* dialog)
{
    if (m_protocol == ModalProtocol::XdgDialog) {
        xdg_dialog_v1_destroy(reinterpret_cast<xdg_dialog_v1*>(dialog));
    } else {
        auto* object = reinterpret_cast<gtk_surface1*>(dialog);
        // Before version 4 the compositor keeps its side until the
        // surface goes.
        if (m_version >= GTK_SURFACE1_RELEASE_SINCE_VERSION)
            gtk_surface1_release(object);
        else
            gtk_surface1_destroy(object);
    }
}

// --- Qt's windows ------------------------------------------------------------

namespace {

std::unique_ptr<ModalAnnouncer> g_announcer;
bool g_tried = false;
bool g_releaseAdded = false;

// The compositor's objects go with the application, while the connection
// still exists.
void ReleaseAnnouncer()
{
    g_announcer.reset();
    g_tried = false;
    g_releaseAdded = false;
}

ModalAnnouncer* Announcer()
{
    if (g_tried || !qGuiApp)
        return g_announcer.get();
    g_tried = true;
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return nullptr;
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    auto* display = native ? static_cast<wl_display*>(native->nativeResourceForIntegration("wl_display")) : nullptr;
    if (!display)
        return nullptr;
    g_announcer = ModalAnnouncer::Create(display, ToolkitUsesXdgDialog(), kAnswerBound);
    if (!g_releaseAdded) {
        qAddPostRoutine(ReleaseAnnouncer);
        g_releaseAdded = true;
    }
    return g_announcer.get();
}

} // namespace

void AnnounceModalDialog(QWidget* window)
{
    if (!window->isWindow() || window->windowType() != Qt::Dialog || !window->isModal())
        return;
    ModalAnnouncer* announcer = Announcer();
    QWindow* handle = window->windowHandle();
    if (!announcer || announcer->Protocol() == ModalProtocol::None || !handle)
        return;
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    announcer->Announce(window, static_cast<wl_surface*>(native->nativeResourceForWindow("surface", handle)),
                        static_cast<xdg_toplevel*>(native->nativeResourceForWindow("xdg_toplevel", handle)));
}

void WithdrawModalDialog(QWidget* window)
{
    if (g_announcer)
        g_announcer->Withdraw(window);
}

} // namespace platform
