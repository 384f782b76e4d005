#pragma once
// The controls of a dialog, built from its template. Nothing here knows the
// dialog object or its window: commands leave by identifier through a
// callback, and the window's key filter comes in as a plain object.

#include "platform/DialogTemplate.h"

#include <functional>
#include <map>

class QObject;
class QWidget;

namespace platform {

// Builds the controls of the template `dialog` inside `client`, each placed
// by the dialog-unit rule and given its accessible name. A click on a push
// button or a radio button calls `onCommand` with the control's identifier;
// radio buttons form exclusive groups, a new one at each CS_GROUP. Controls
// that take the focus (push buttons, radio buttons, edit boxes) take it by
// Tab where the template says CS_TABSTOP, else by click only, and hand their
// events to `keyFilter` first where one is given. Returns the controls that
// have an identifier, by it.
std::map<int, QWidget*> BuildControls(const DialogTemplate& dialog, QWidget* client, QObject* keyFilter,
                                      const std::function<void(int)>& onCommand);

} // namespace platform
