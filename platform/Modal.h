#pragma once
#include <QString>
#include <memory>

class QMessageBox;
class QWidget;

namespace platform {

class Dialog;

enum : int { IDOK = 1, IDCANCEL = 2 };

// Message box types: the button set in the low nibble, the icon above it.
enum : unsigned {
    MB_OK = 0x00000000u,
    MB_ICONHAND = 0x00000010u,
    MB_ICONEXCLAMATION = 0x00000030u,
    MB_ICONASTERISK = 0x00000040u,
};

// Shows a message box owned by `owner` and waits until it is closed. The
// box has no caption of its own: its title is the application's name.
int MessageBox(QWidget* owner, const QString& text, unsigned type = MB_OK);

// The box MessageBox shows, built and not yet shown (for tests that look at
// it on a desktop).
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, const QString& text, unsigned type);

// Runs a dialog whose window was just created and initialised, until it ends.
int RunModal(Dialog& dialog);

// The one seam through which every modal box passes. Tests install a hook
// that answers boxes and dialogs at once instead of waiting for a person.
class ModalHook {
public:
    virtual ~ModalHook() = default;
    // The dialog's window exists and is initialised; end it (or not) and
    // return the result DoModal is to give.
    virtual int RunDialog(Dialog& dialog) = 0;
    virtual int MessageBox(QWidget* owner, const QString& text, unsigned type) = 0;
};

// Installs a hook (nullptr restores the real boxes); returns the previous one.
ModalHook* SetModalHook(ModalHook* hook);

} // namespace platform
