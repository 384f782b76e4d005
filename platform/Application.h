#pragma once
#include <QIcon>

class QApplication;

namespace platform {

// Sets what every window of the application shares: its name (the title of
// message boxes), the 8-point dialog font with its 6 x 13 pixel cell, and the
// application icon.
void InitApplication(QApplication& app, const QString& displayName, const QIcon& icon);

// True when a window system can be reached: a Wayland session, an X server
// that answers, or a platform chosen by QT_QPA_PLATFORM.
bool HasDisplay();

} // namespace platform
