// Opening a web address in the desktop's browser, and the seam through
// which tests take the place of the browser.

#include "platform/Shell.h"

#include <QDesktopServices>
#include <QUrl>
#include <QtGlobal>

namespace platform {

namespace {
std::function<bool(const QString&)> g_opener;

// The shell's open action reports nothing of its own: the warnings Qt writes
// to the terminal when no browser can be found or started are dropped.
void DropMessage(QtMsgType, const QMessageLogContext&, const QString&) {}
} // namespace

bool ShellOpen(const QString& address)
{
    if (g_opener)
        return g_opener(address);
    const QtMessageHandler previous = qInstallMessageHandler(&DropMessage);
    const bool opened = QDesktopServices::openUrl(QUrl(address));
    qInstallMessageHandler(previous);
    return opened;
}

void SetShellOpener(std::function<bool(const QString&)> opener)
{
    g_opener = std::move(opener);
}

} // namespace platform
