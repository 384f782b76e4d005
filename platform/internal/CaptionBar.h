#pragma once
// The caption bar the program draws across the top of its own windows,
// where the title bars are left to it. It works from the window's flags and
// title alone: it knows nothing of templates or dialogs.

#include <QStringList>

class QWidget;

namespace platform {

// Where the title bars are left to the program (Qt on a Wayland compositor
// that draws none itself), the toolkit's own would offer maximise on every
// window; there top-level windows are frameless and carry a caption bar that
// the program draws: icon, title, minimise and close as the window's flags
// offer them, never maximise. Where the compositor draws the title bars, the
// windows keep them, as on X11. In a GNOME session the bar follows GNOME's
// conventions and the desktop's settings (platform/internal/TitleBarSettings.h):
// the buttons of its button layout that the window offers, in their order,
// the title in the middle, the colours of its light or dark style.
constexpr int kCaptionHeight = 24;
constexpr int kGnomeCaptionHeight = 37;
bool DrawsOwnCaption();
// Tests turn the program's caption bars on where the platform would not.
void SetDrawsOwnCaption(bool own);
// Makes a top-level window frameless with the program's caption bar across
// its top; returns the bar's height, which the window's contents go below.
int AddOwnCaption(QWidget* window);
// The height of a window's own caption bar; 0 without one.
int CaptionHeight(const QWidget* window);
// The buttons on a window's own caption bar, left to right ("minimise",
// "close"); none without such a bar.
QStringList CaptionButtons(const QWidget* window);

} // namespace platform
