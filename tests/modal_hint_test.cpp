// How a dialog is announced modal to the compositor: the choice of the way
// from the compositor's globals, and the requests that go out for it, taken
// by a stand-in compositor (libwayland-server, on a thread of its own) that
// offers xdg_wm_dialog_v1, gtk_shell1 in an old or a new version, both, or
// neither, and records what it is asked. No compositor on this machine
// offers xdg_wm_dialog_v1; GNOME's mutter with gtk_shell1 is asked in the
// desktop tests (tests/e2e/mutter_modal_test.sh).

#include "platform/internal/ModalHint.h"

#include <gtest/gtest.h>
#include <wayland-client.h>
#include <wayland-server.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "gtk-shell-server-protocol.h"
#include "xdg-dialog-v1-server-protocol.h"
#include "xdg-shell-client-protocol.h"
#include "xdg-shell-server-protocol.h"

using platform::ModalProtocol;
using platform::WaylandGlobal;

namespace {

using namespace std::chrono_literals;

// --- the choice ------------------------------------------------------------------

TEST(ModalHint, ChoosesTheWayTheCompositorOffers)
{
    const WaylandGlobal xdg{"xdg_wm_dialog_v1", 1}, gtk{"gtk_shell1", 5}, other{"wl_compositor", 5};
    const struct {
        std::vector<WaylandGlobal> globals;
        bool toolkitUsesXdgDialog;
        ModalProtocol expected;
    } cases[] = {
        {{other}, false, ModalProtocol::None},
        {{other, gtk}, false, ModalProtocol::GtkShell},
        {{xdg, other}, false, ModalProtocol::XdgDialog},
        {{gtk, xdg}, false, ModalProtocol::XdgDialog},
        // A toolkit that announces through xdg_wm_dialog_v1 itself is left
        // to it; gtk_shell1 is only for where that is not offered.
        {{gtk, xdg}, true, ModalProtocol::None},
        {{xdg}, true, ModalProtocol::None},
        {{gtk}, true, ModalProtocol::GtkShell},
        {{}, false, ModalProtocol::None},
    };
    for (const auto& c : cases) {
        std::string names;
        for (const WaylandGlobal& g : c.globals)
            names += g.interface + " ";
        EXPECT_EQ(platform::ChooseModalProtocol(c.globals, c.toolkitUsesXdgDialog), c.expected)
            << names << (c.toolkitUsesXdgDialog ? "(toolkit uses xdg_wm_dialog_v1)" : "");
    }
}

// --- the stand-in compositor ---------------------------------------------------

struct Offer {
    bool xdgDialog = false;
    std::uint32_t gtkShellVersion = 0;   // 0: not offered
};

// What the compositor was asked, one line per request:
// "get_xdg_dialog <toplevel id>", "get_gtk_surface <surface id>", "set_modal",
// "unset_modal", "release", "destroy dialog", "destroy manager",
// "bind gtk_shell1 <version>".
class StandInCompositor {
public:
    explicit StandInCompositor(Offer offer, bool answers = true)
    {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
            return;
        m_display = wl_display_create();
        wl_global_create(m_display, &wl_compositor_interface, 4, this, BindCompositor);
        wl_global_create(m_display, &xdg_wm_base_interface, 1, this, BindWmBase);
        if (offer.xdgDialog)
            wl_global_create(m_display, &xdg_wm_dialog_v1_interface, 1, this, BindDialogManager);
        if (offer.gtkShellVersion)
            wl_global_create(m_display, &gtk_shell1_interface, static_cast<int>(offer.gtkShellVersion), this,
                             BindGtkShell);
        wl_client_create(m_display, fds[0]);
        m_clientFd = fds[1];
        if (answers)
            m_thread = std::thread([this] { Run(); });
    }

    ~StandInCompositor()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_display)
            wl_display_destroy(m_display);
    }

    // The client end; the client library owns it from then on.
    int TakeClientFd() { return std::exchange(m_clientFd, -1); }

    std::vector<std::string> Requests()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }

private:
    void Run()
    {
        wl_event_loop* loop = wl_display_get_event_loop(m_display);
        while (!m_stop) {
            wl_event_loop_dispatch(loop, 10);
            wl_display_flush_clients(m_display);
        }
    }

    void Record(std::string line)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back(std::move(line));
    }

    static StandInCompositor* Of(wl_resource* resource)
    {
        return static_cast<StandInCompositor*>(wl_resource_get_user_data(resource));
    }
    static std::string Id(wl_resource* resource) { return std::to_string(wl_resource_get_id(resource)); }
    static void DestroyResource(wl_client*, wl_resource* resource) { wl_resource_destroy(resource); }

    // wl_compositor and xdg-shell: just enough to make a surface and a toplevel.
    static void CreateSurface(wl_client* client, wl_resource* resource, std::uint32_t id)
    {
        static const struct wl_surface_interface kSurface = {};
        wl_resource* surface = wl_resource_create(client, &wl_surface_interface, wl_resource_get_version(resource), id);
        wl_resource_set_implementation(surface, &kSurface, Of(resource), nullptr);
    }
    static void BindCompositor(wl_client* client, void* data, std::uint32_t version, std::uint32_t id)
    {
        static const struct wl_compositor_interface kCompositor = {CreateSurface, nullptr};
        wl_resource* resource = wl_resource_create(client, &wl_compositor_interface, static_cast<int>(version), id);
        wl_resource_set_implementation(resource, &kCompositor, data, nullptr);
    }
    static void GetToplevel(wl_client* client, wl_resource* resource, std::uint32_t id)
    {
        static const struct xdg_toplevel_interface kToplevel = {};
        wl_resource* toplevel = wl_resource_create(client, &xdg_toplevel_interface, 1, id);
        wl_resource_set_implementation(toplevel, &kToplevel, Of(resource), nullptr);
    }
    static void GetXdgSurface(wl_client* client, wl_resource* resource, std::uint32_t id, wl_resource*)
    {
        static const struct xdg_surface_interface kXdgSurface = {nullptr, GetToplevel, nullptr, nullptr, nullptr};
        wl_resource* surface = wl_resource_create(client, &xdg_surface_interface, 1, id);
        wl_resource_set_implementation(surface, &kXdgSurface, Of(resource), nullptr);
    }
    static void BindWmBase(wl_client* client, void* data, std::uint32_t version, std::uint32_t id)
    {
        static const struct xdg_wm_base_interface kWmBase = {nullptr, nullptr, GetXdgSurface, nullptr};
        wl_resource* resource = wl_resource_create(client, &xdg_wm_base_interface, static_cast<int>(version), id);
        wl_resource_set_implementation(resource, &kWmBase, data, nullptr);
    }

    // xdg_wm_dialog_v1.
    static void DialogSetModal(wl_client*, wl_resource* resource) { Of(resource)->Record("set_modal"); }
    static void DialogUnsetModal(wl_client*, wl_resource* resource) { Of(resource)->Record("unset_modal"); }
    static void DialogDestroy(wl_client*, wl_resource* resource)
    {
        Of(resource)->Record("destroy dialog");
        wl_resource_destroy(resource);
    }
    static void GetXdgDialog(wl_client* client, wl_resource* resource, std::uint32_t id, wl_resource* toplevel)
    {
        static const struct xdg_dialog_v1_interface kDialog = {DialogDestroy, DialogSetModal, DialogUnsetModal};
        Of(resource)->Record("get_xdg_dialog " + Id(toplevel));
        wl_resource* dialog = wl_resource_create(client, &xdg_dialog_v1_interface, 1, id);
        wl_resource_set_implementation(dialog, &kDialog, Of(resource), nullptr);
    }
    static void ManagerDestroy(wl_client*, wl_resource* resource)
    {
        Of(resource)->Record("destroy manager");
        wl_resource_destroy(resource);
    }
    static void BindDialogManager(wl_client* client, void* data, std::uint32_t version, std::uint32_t id)
    {
        static const struct xdg_wm_dialog_v1_interface kManager = {ManagerDestroy, GetXdgDialog};
        wl_resource* resource = wl_resource_create(client, &xdg_wm_dialog_v1_interface, static_cast<int>(version), id);
        wl_resource_set_implementation(resource, &kManager, data, nullptr);
    }

    // gtk_shell1.
    static void GtkSetModal(wl_client*, wl_resource* resource) { Of(resource)->Record("set_modal"); }
    static void GtkUnsetModal(wl_client*, wl_resource* resource) { Of(resource)->Record("unset_modal"); }
    static void GtkRelease(wl_client*, wl_resource* resource)
    {
        Of(resource)->Record("release");
        wl_resource_destroy(resource);
    }
    static void GetGtkSurface(wl_client* client, wl_resource* resource, std::uint32_t id, wl_resource* surface)
    {
        static const struct gtk_surface1_interface kGtkSurface = [] {
            struct gtk_surface1_interface i {};
            i.set_modal = GtkSetModal;
            i.unset_modal = GtkUnsetModal;
            i.release = GtkRelease;
            return i;
        }();
        Of(resource)->Record("get_gtk_surface " + Id(surface));
        wl_resource* object =
            wl_resource_create(client, &gtk_surface1_interface, wl_resource_get_version(resource), id);
        wl_resource_set_implementation(object, &kGtkSurface, Of(resource), nullptr);
    }
    static void BindGtkShell(wl_client* client, void* data, std::uint32_t version, std::uint32_t id)
    {
        static const struct gtk_shell1_interface kGtkShell = [] {
            struct gtk_shell1_interface i {};
            i.get_gtk_surface = GetGtkSurface;
            return i;
        }();
        static_cast<StandInCompositor*>(data)->Record("bind gtk_shell1 " + std::to_string(version));
        wl_resource* resource = wl_resource_create(client, &gtk_shell1_interface, static_cast<int>(version), id);
        wl_resource_set_implementation(resource, &kGtkShell, data, nullptr);
    }

    wl_display* m_display = nullptr;
    int m_clientFd = -1;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<std::string> m_requests;
};

// The program's side: a connection with a surface and a toplevel of its
// own, as the toolkit's would be.
class Client {
public:
    explicit Client(int fd) : m_display(wl_display_connect_to_fd(fd))
    {
        if (!m_display)
            return;
        wl_registry* registry = wl_display_get_registry(m_display);
        wl_registry_add_listener(registry, &kRegistryListener, this);
        wl_display_roundtrip(m_display);
        wl_registry_destroy(registry);
    }
    ~Client()
    {
        if (m_display)
            wl_display_disconnect(m_display);
    }

    struct Window {
        wl_surface* surface;
        xdg_toplevel* toplevel;
    };
    Window NewWindow()
    {
        wl_surface* surface = wl_compositor_create_surface(m_compositor);
        xdg_surface* xdgSurface = xdg_wm_base_get_xdg_surface(m_wmBase, surface);
        return {surface, xdg_surface_get_toplevel(xdgSurface)};
    }
    static std::string Id(void* proxy) { return std::to_string(wl_proxy_get_id(static_cast<wl_proxy*>(proxy))); }

    // Everything sent so far has been handled by the compositor.
    void Sync() { ASSERT_GE(wl_display_roundtrip(m_display), 0); }
    wl_display* Display() const { return m_display; }

private:
    static void OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t)
    {
        auto* self = static_cast<Client*>(data);
        if (std::string(interface) == wl_compositor_interface.name)
            self->m_compositor = static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 4));
        else if (std::string(interface) == xdg_wm_base_interface.name)
            self->m_wmBase = static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
    }
    static void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}
    static constexpr wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

    wl_display* m_display;
    wl_compositor* m_compositor = nullptr;
    xdg_wm_base* m_wmBase = nullptr;
};

using Lines = std::vector<std::string>;

// --- the requests ---------------------------------------------------------------

TEST(ModalHint, GtkShellMarksTheSurfaceModalAndReleasesItsObject)
{
    StandInCompositor compositor({false, 5});
    Client client(compositor.TakeClientFd());
    ASSERT_NE(client.Display(), nullptr);
    const Client::Window first = client.NewWindow(), second = client.NewWindow();

    auto announcer = platform::ModalAnnouncer::Create(client.Display(), false, 30s);
    ASSERT_NE(announcer, nullptr);
    EXPECT_EQ(announcer->Protocol(), ModalProtocol::GtkShell);
    const int a = 0, b = 0;
    EXPECT_TRUE(announcer->Announce(&a, first.surface, first.toplevel));
    EXPECT_TRUE(announcer->Announce(&b, second.surface, second.toplevel));
    announcer->Withdraw(&a);
    // Announced again (a window shown anew): the old object goes first.
    EXPECT_TRUE(announcer->Announce(&b, second.surface, second.toplevel));
    client.Sync();
    EXPECT_EQ(compositor.Requests(),
              (Lines{"bind gtk_shell1 5", "get_gtk_surface " + Client::Id(first.surface), "set_modal",
                     "get_gtk_surface " + Client::Id(second.surface), "set_modal", "release", "release",
                     "get_gtk_surface " + Client::Id(second.surface), "set_modal"}));
    // What is still announced goes with the announcer.
    announcer.reset();
    client.Sync();
    EXPECT_EQ(compositor.Requests().back(), "release");
}

TEST(ModalHint, OldGtkShellIsBoundInItsOwnVersionAndNotSentARelease)
{
    StandInCompositor compositor({false, 3});
    Client client(compositor.TakeClientFd());
    const Client::Window window = client.NewWindow();
    auto announcer = platform::ModalAnnouncer::Create(client.Display(), false, 30s);
    ASSERT_NE(announcer, nullptr);
    const int key = 0;
    EXPECT_TRUE(announcer->Announce(&key, window.surface, window.toplevel));
    announcer->Withdraw(&key);
    client.Sync();
    // gtk_surface1.release came with version 4; before it the object stays
    // on the compositor's side until the surface goes.
    EXPECT_EQ(compositor.Requests(),
              (Lines{"bind gtk_shell1 3", "get_gtk_surface " + Client::Id(window.surface), "set_modal"}));
    EXPECT_EQ(announcer->Announced(), 0u);
}

TEST(ModalHint, XdgDialogIsPreferredAndNamesTheToplevel)
{
    StandInCompositor compositor({true, 5});
    Client client(compositor.TakeClientFd());
    const Client::Window window = client.NewWindow();
    auto announcer = platform::ModalAnnouncer::Create(client.Display(), false, 30s);
    ASSERT_NE(announcer, nullptr);
    EXPECT_EQ(announcer->Protocol(), ModalProtocol::XdgDialog);
    const int key = 0;
    EXPECT_TRUE(announcer->Announce(&key, window.surface, window.toplevel));
    announcer->Withdraw(&key);
    // A window whose toolkit gave no toplevel is left alone.
    EXPECT_FALSE(announcer->Announce(&key, window.surface, nullptr));
    announcer.reset();
    client.Sync();
    EXPECT_EQ(compositor.Requests(), (Lines{"get_xdg_dialog " + Client::Id(window.toplevel), "set_modal",
                                            "destroy dialog", "destroy manager"}));
}

TEST(ModalHint, NothingIsSentWhereNoWayIsOffered)
{
    StandInCompositor compositor({false, 0});
    Client client(compositor.TakeClientFd());
    const Client::Window window = client.NewWindow();
    auto announcer = platform::ModalAnnouncer::Create(client.Display(), false, 30s);
    ASSERT_NE(announcer, nullptr);
    EXPECT_EQ(announcer->Protocol(), ModalProtocol::None);
    const int key = 0;
    EXPECT_FALSE(announcer->Announce(&key, window.surface, window.toplevel));
    announcer.reset();
    client.Sync();
    EXPECT_TRUE(compositor.Requests().empty());
}

TEST(ModalHint, ToolkitThatAnnouncesItselfIsLeftToIt)
{
    StandInCompositor compositor({true, 5});
    Client client(compositor.TakeClientFd());
    const Client::Window window = client.NewWindow();
    auto announcer = platform::ModalAnnouncer::Create(client.Display(), true, 30s);
    ASSERT_NE(announcer, nullptr);
    EXPECT_EQ(announcer->Protocol(), ModalProtocol::None);
    const int key = 0;
    EXPECT_FALSE(announcer->Announce(&key, window.surface, window.toplevel));
    client.Sync();
    EXPECT_TRUE(compositor.Requests().empty());
}

TEST(ModalHint, CompositorThatDoesNotAnswerIsGivenUpAfterTheBound)
{
    StandInCompositor compositor({false, 5}, false);
    wl_display* display = wl_display_connect_to_fd(compositor.TakeClientFd());
    ASSERT_NE(display, nullptr);
    EXPECT_EQ(platform::ModalAnnouncer::Create(display, false, 200ms), nullptr);
    wl_display_disconnect(display);
}

} // namespace
