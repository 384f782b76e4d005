#pragma once
#include <QIcon>

class QApplication;

namespace platform {

// Sets what every window of the application shares: its name (the title of
// message boxes), the 8-point dialog font with its 6 x 13 pixel cell, and the
// application icon. Called once Qt holds its connection to the display.
void InitApplication(QApplication& app, const QString& displayName, const QIcon& icon);

// The application's name as the player reads it ("Quillware Coilrunner"):
// the title of message boxes. Qt's own display name stays unset, since Qt
// would append it to every window title that does not already end in it.
QString AppDisplayName();

// True when a window system can be reached: a Wayland compositor or an X
// server that answers (where the toolkit will look for them), or another
// platform chosen by QT_QPA_PLATFORM. An X server that is just starting
// over, as one does when its last client leaves, is asked again for a few
// seconds before it counts as gone. The connection made to the X server
// stays open until InitApplication, when Qt holds its own: closing it
// earlier would let such a server start over just as Qt connects.
bool HasDisplay();

} // namespace platform
