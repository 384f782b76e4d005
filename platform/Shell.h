#pragma once
#include <QString>
#include <functional>

namespace platform {

// Asks the desktop to open an address in the user's browser. The answer
// says whether the desktop took the request.
bool ShellOpen(const QString& address);

// Replaces the desktop's opener (an empty function restores it).
void SetShellOpener(std::function<bool(const QString&)> opener);

} // namespace platform
