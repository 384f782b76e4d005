#pragma once
// Telling a Wayland compositor that a window is a modal dialog, so that it
// can place the window over its parent and keep the keyboard with it while
// the parent is blocked. It knows windows and the compositor's globals only:
// nothing of dialogs' contents or of the game.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class QWidget;
struct wl_display;
struct wl_event_queue;
struct wl_proxy;
struct wl_surface;
struct xdg_toplevel;

namespace platform {

// The ways a compositor offers: xdg_wm_dialog_v1 (xdg-dialog-v1, newer GNOME
// and KDE), or gtk_shell1's gtk_surface1.set_modal (GNOME's mutter), or none.
enum class ModalProtocol { None, XdgDialog, GtkShell };

struct WaylandGlobal {
    std::string interface;
    std::uint32_t version = 0;
};

// xdg_wm_dialog_v1 where announced, else gtk_shell1, else none. Where the
// toolkit announces its modal windows through xdg_wm_dialog_v1 itself (Qt
// 6.8 and later do), a second dialog object for the same window would be a
// protocol error: then the toolkit is left to it, and gtk_shell1 is used
// only where xdg_wm_dialog_v1 is not announced.
ModalProtocol ChooseModalProtocol(const std::vector<WaylandGlobal>& globals, bool toolkitUsesXdgDialog);

// Whether the toolkit in use announces modal windows through
// xdg_wm_dialog_v1 itself.
bool ToolkitUsesXdgDialog();

// Called right after a window has been shown and right before it is hidden
// or destroyed. A window that the toolkit shows modally as a dialog (a
// QDialog or QMessageBox run by exec()) is announced modal to the
// compositor on Wayland wherever it offers a way; the objects that told it
// go before the toolkit destroys the window's surface. Elsewhere (X11, other
// windows, a compositor that offers no way) nothing happens.
void AnnounceModalDialog(QWidget* window);
void WithdrawModalDialog(QWidget* window);

// A window class that announces itself: `Window` is QDialog or QMessageBox.
template <class Window>
class AnnouncedModal : public Window {
public:
    using Window::Window;
    ~AnnouncedModal() override { WithdrawModalDialog(this); }

    // Only a change counts: the toolkit makes the window's surface anew at
    // each show, and a second mark for the same surface would be a
    // protocol error.
    void setVisible(bool visible) override
    {
        const bool wasVisible = Window::isVisible();
        if (!visible && wasVisible)
            WithdrawModalDialog(this);
        Window::setVisible(visible);
        if (visible && !wasVisible)
            AnnounceModalDialog(this);
    }
};

// The protocol side, on a connection given (Qt's, or a test's): the
// compositor's globals learnt with one registry round trip on an event
// queue of its own, the chosen one bound, and one dialog object per
// announced window.
class ModalAnnouncer {
public:
    // Nullptr when the round trip fails or takes longer than `bound`.
    static std::unique_ptr<ModalAnnouncer> Create(wl_display* display, bool toolkitUsesXdgDialog,
                                                  std::chrono::milliseconds bound);
    ~ModalAnnouncer();
    ModalAnnouncer(const ModalAnnouncer&) = delete;
    ModalAnnouncer& operator=(const ModalAnnouncer&) = delete;

    ModalProtocol Protocol() const { return m_protocol; }
    // Tells the compositor that the toplevel (with its surface) is a modal
    // dialog; `key` names the window for Withdraw. False where nothing was
    // sent: no way offered, or the object the chosen way needs is missing.
    bool Announce(const void* key, wl_surface* surface, xdg_toplevel* toplevel);
    void Withdraw(const void* key);
    std::size_t Announced() const { return m_dialogs.size(); }

private:
    ModalAnnouncer(wl_display* display) : m_display(display) {}
    void Destroy(wl_proxy* dialog);

    wl_display* m_display;
    wl_event_queue* m_queue = nullptr;
    wl_proxy* m_wrapper = nullptr;
    ModalProtocol m_protocol = ModalProtocol::None;
    wl_proxy* m_global = nullptr;
    std::uint32_t m_version = 0;
    std::unordered_map<const void*, wl_proxy*> m_dialogs;
};

} // namespace platform
