#pragma once
// The parts of data exchange that platform/ uses beyond DDX_Text and
// DDV_MaxChars (declared in Dialog.h for the game's dialogs): the text a
// control shows, and the filter that keeps an edit box to Latin-1. They know
// controls as widgets only, nothing of templates or dialogs.

#include <QString>

class QLineEdit;
class QWidget;

namespace platform {

// The text a control shows: an edit box's contents, a static's or a button's text.
QString GetWindowText(const QWidget* control);

// Text is 8-bit: the edit box takes no character that Latin-1 cannot hold,
// nor a control character, rather than letting it be replaced on the way
// into a member. A paste keeps the rest of what it brings.
void AcceptLatin1Only(QLineEdit* edit);

} // namespace platform
