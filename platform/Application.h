#pragma once
#include <QByteArray>
#include <QFont>
#include <QIcon>
#include <QSize>

class QApplication;
class QWidget;

namespace platform {

// Whole scale factors only. A window at 1.25 or 1.5 shows the playfield's
// logical pixels one and two device pixels wide in turn; at a whole factor
// every one of them is a square block of one size. So each factor Qt takes
// from the desktop, QT_SCALE_FACTOR, QT_SCREEN_SCALE_FACTORS and the
// screen's DPI (Xft.dpi on X11), is rounded to the nearest whole number,
// halves up, and is at least 1; fonts and style metrics are measured at
// 96 DPI, so that the fraction that was rounded away does not come back
// through them. Call before the QApplication exists: Qt reads all of this
// when it starts. InitApplication puts the environment back as it was, so
// that programs started from the game (the browser) see the desktop's
// values; so it does with the platform HasDisplay chose.
void UseWholeScaleFactors();
// The rules, for the values of QT_SCALE_FACTOR ("1.25" becomes "1") and of
// QT_SCREEN_SCALE_FACTORS ("1.5;HDMI-1=1.75" becomes "2;HDMI-1=2"). What is
// not a finite positive number is no factor and is ignored, as though it
// were not set: WholeScaleFactor gives nothing for it (the variable is
// then taken out for Qt's start), and WholeScreenScaleFactors leaves its
// entry out ("nan;2" becomes "2"). No factor is made larger than 32767,
// more than any screen could hold.
QByteArray WholeScaleFactor(const QByteArray& factor);
QByteArray WholeScreenScaleFactors(const QByteArray& factors);

// Brings every screen's factor down to the largest whole one (at least 1)
// at which a window of `window` logical pixels fits on that screen, where
// it is larger, and says so in one line on stderr: a factor from the
// desktop that would make the window larger than the screen (1000, or
// Xft.dpi 100000) would show no window at all. Called with the main
// window's size before it is first shown.
void FitScaleFactors(QSize window);

// Sets what every window of the application shares: its name (the title of
// message boxes), the 8-point dialog font with its 6 x 13 pixel cell, and the
// application icon. Called once Qt holds its connection to the display.
void InitApplication(QApplication& app, const QString& displayName, const QIcon& icon);

// The dialog font, with every attribute set: the templates' layout is
// measured in it. A platform theme (qt6ct, the GTK theme) replaces the
// application's font after start and keeps fonts of its own for menus,
// message boxes, labels and buttons; a window given this font keeps it, and
// its controls with it, whatever the theme says. Colours still follow the
// theme.
QFont DialogFont();
// Gives a window the dialog font: every top-level window, popup menu and
// message box the program makes.
void UseDialogFont(QWidget* window);

// The application's name as the player reads it ("Quillware Coilrunner"):
// the title of message boxes. Qt's own display name stays unset, since Qt
// would append it to every window title that does not already end in it.
QString AppDisplayName();

// True when a window system answers: a Wayland compositor or an X server
// (where the toolkit will look for them, in its order) that answers a round
// trip within 5 seconds, or another platform chosen by QT_QPA_PLATFORM.
// One that does not answer in time is given up for the next, and Qt is
// told to start with the one that answered (QT_QPA_PLATFORM, for its
// start only, as the scale factors): a compositor that does not answer is
// given up for the X server where DISPLAY names one that does. An X server
// that is just starting over, as one does when its last client leaves, is
// asked again for a few seconds before it counts as gone. The connection
// made to the X server stays open until InitApplication, when Qt holds its
// own: closing it earlier would let such a server start over just as Qt
// connects. `why`: when none answers, what the player is told ("no display
// could be reached", or which did not answer in time).
bool HasDisplay(QByteArray& why);

} // namespace platform
