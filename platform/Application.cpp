#include "platform/Application.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <cstdlib>

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

bool HasDisplay()
{
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

} // namespace platform
