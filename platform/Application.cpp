#include "platform/Application.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <cstdlib>
#include <dlfcn.h>

namespace platform {

void InitApplication(QApplication& app, const QString& displayName, const QIcon& icon)
{
    QApplication::setApplicationDisplayName(displayName);
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

namespace {

// Whether the X server named by DISPLAY answers. Asked through the X client
// library that the window system's Qt plugin loads anyway; when that library
// is missing, Qt's own start decides.
bool XServerAnswers()
{
    void* xcb = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!xcb)
        return true;
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    const auto connect = reinterpret_cast<Connect>(dlsym(xcb, "xcb_connect"));
    const auto hasError = reinterpret_cast<HasError>(dlsym(xcb, "xcb_connection_has_error"));
    const auto disconnect = reinterpret_cast<Disconnect>(dlsym(xcb, "xcb_disconnect"));
    bool answers = true;
    if (connect && hasError && disconnect) {
        void* connection = connect(nullptr, nullptr);
        answers = hasError(connection) == 0;
        disconnect(connection);
    }
    dlclose(xcb);
    return answers;
}

} // namespace

bool HasDisplay()
{
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    if (set("QT_QPA_PLATFORM") || set("WAYLAND_DISPLAY"))
        return true;
    return set("DISPLAY") && XServerAnswers();
}

} // namespace platform
