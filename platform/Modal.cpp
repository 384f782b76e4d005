#include "platform/Modal.h"
#include "platform/Application.h"
#include "platform/Dialog.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>

namespace platform {

namespace {
ModalHook* g_hook = nullptr;

QMessageBox::Icon IconFor(unsigned type)
{
    switch (type & 0xF0u) {
    case MB_ICONHAND: return QMessageBox::Critical;
    case MB_ICONEXCLAMATION: return QMessageBox::Warning;
    case MB_ICONASTERISK: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}
} // namespace

ModalHook* SetModalHook(ModalHook* hook)
{
    ModalHook* previous = g_hook;
    g_hook = hook;
    return previous;
}

int MessageBox(QWidget* owner, const QString& text, unsigned type)
{
    if (g_hook)
        return g_hook->MessageBox(owner, text, type);
    QMessageBox box(IconFor(type), AppDisplayName(), text, QMessageBox::Ok, owner);
    if (DrawsOwnCaption())
        box.setContentsMargins(0, AddOwnCaption(&box), 0, 0);
    box.exec();
    return IDOK;
}

int RunModal(Dialog& dialog)
{
    if (g_hook)
        return g_hook->RunDialog(dialog);
    auto* window = qobject_cast<QDialog*>(dialog.Window());
    if (!window)
        return -1;
    window->exec();
    return dialog.Result();
}

} // namespace platform
