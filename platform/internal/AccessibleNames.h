#pragma once
// What a screen reader calls the controls of a dialog, worked out from the
// dialog's template alone: nothing here knows widgets or the dialog object.

#include "platform/DialogTemplate.h"

#include <QString>

namespace platform {

// The accessible name of the control `c` of the template `dialog`: its own
// text without the mnemonic mark; for an edit box, the text of its label;
// for the icon, the application's name; for a picture or an untitled frame,
// the title of the group box around it, else the dialog's caption. Empty for
// a static without a text of its own: a screen reader reads out whatever it
// shows.
QString AccessibleNameOf(const DialogTemplate& dialog, const ControlTemplate& c);

} // namespace platform
