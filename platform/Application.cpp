#include "platform/Application.h"

#include <QApplication>
#include <QByteArrayList>
#include <QFont>
#include <QFontDatabase>
#include <chrono>
#include <cstdlib>
#include <dlfcn.h>
#include <thread>

namespace platform {

namespace {

QString g_displayName;

// --- the X server -------------------------------------------------------
// Asked through the X client library that Qt's xcb plugin loads anyway.

struct Xcb {
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);

    void* library = nullptr;
    Connect connect = nullptr;
    HasError hasError = nullptr;
    Disconnect disconnect = nullptr;

    bool Load()
    {
        if (!library)
            library = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
        if (!library)
            return false;
        connect = reinterpret_cast<Connect>(dlsym(library, "xcb_connect"));
        hasError = reinterpret_cast<HasError>(dlsym(library, "xcb_connection_has_error"));
        disconnect = reinterpret_cast<Disconnect>(dlsym(library, "xcb_disconnect"));
        return connect && hasError && disconnect;
    }
};

Xcb g_xcb;
// The check's connection to the X server, open until Qt holds its own.
void* g_heldConnection = nullptr;

void ReleaseHeldConnection()
{
    if (g_heldConnection)
        g_xcb.disconnect(g_heldConnection);
    g_heldConnection = nullptr;
}

// An X server started without -noreset starts over each time its last client
// leaves, and turns away whoever connects meanwhile; it takes well under a
// second. A display that still refuses after this long is gone.
constexpr std::chrono::seconds kResetBound{3};
constexpr std::chrono::milliseconds kRetryPause{50};

bool XServerAnswers()
{
    if (g_heldConnection)
        return true;
    // Without the library Qt's xcb plugin cannot load either; let its own
    // start decide.
    if (!g_xcb.Load())
        return true;
    const auto deadline = std::chrono::steady_clock::now() + kResetBound;
    for (;;) {
        void* connection = g_xcb.connect(nullptr, nullptr);
        if (g_xcb.hasError(connection) == 0) {
            g_heldConnection = connection;
            return true;
        }
        g_xcb.disconnect(connection);
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(kRetryPause);
    }
}

// --- the Wayland compositor ---------------------------------------------

bool IsSet(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

// Connects as Qt's Wayland plugin does (WAYLAND_DISPLAY, else "wayland-0",
// in XDG_RUNTIME_DIR) and lets go at once: a compositor does not start over.
bool CompositorAnswers()
{
    if (IsSet("WAYLAND_SOCKET"))
        return true;   // a connection handed down by the session: Qt's to use
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (!(name && *name == '/') && !IsSet("XDG_RUNTIME_DIR"))
        return false;  // the client library would fail too, and say so
    void* wayland = dlopen("libwayland-client.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!wayland)
        return false;  // Qt's Wayland plugin needs this library
    using Connect = void* (*)(const char*);
    using Disconnect = void (*)(void*);
    const auto connect = reinterpret_cast<Connect>(dlsym(wayland, "wl_display_connect"));
    const auto disconnect = reinterpret_cast<Disconnect>(dlsym(wayland, "wl_display_disconnect"));
    bool answers = false;
    if (connect && disconnect) {
        if (void* display = connect(nullptr)) {
            answers = true;
            disconnect(display);
        }
    }
    dlclose(wayland);
    return answers;
}

// The window systems Qt tries, in its order: QT_QPA_PLATFORM, else the X
// server alone in an X11 session, else Wayland and then X.
QByteArrayList PlatformsToTry()
{
    QByteArray platforms = qgetenv("QT_QPA_PLATFORM");
    if (platforms.isEmpty())
        platforms = qgetenv("XDG_SESSION_TYPE") == "x11" ? "xcb" : "wayland;xcb";
    return platforms.split(';');
}

} // namespace

void InitApplication(QApplication& app, const QString& displayName, const QIcon& icon)
{
    // Qt is connected now.
    ReleaseHeldConnection();

    g_displayName = displayName;
    QApplication::setWindowIcon(icon);

    // The condensed face keeps the dialog texts inside their controls at the
    // 6 x 13 pixel cell the layout is measured in.
    const QStringList families = QFontDatabase::families();
    QFont font(families.contains(QStringLiteral("DejaVu Sans Condensed"))
                   ? QStringLiteral("DejaVu Sans Condensed")
                   : QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    app.setFont(font);
}

QString AppDisplayName() { return g_displayName; }

bool HasDisplay()
{
    for (const QByteArray& entry : PlatformsToTry()) {
        // Options follow the name after a colon (xcb:foo=1).
        const QByteArray name = entry.split(':').constFirst().trimmed();
        if (name.startsWith("wayland")) {
            if (CompositorAnswers())
                return true;
        } else if (name == "xcb") {
            if (IsSet("DISPLAY") && XServerAnswers())
                return true;
        } else if (!name.isEmpty()) {
            return true;   // offscreen, a framebuffer...: Qt's own start decides
        }
    }
    return false;
}

} // namespace platform
