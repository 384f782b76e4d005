// Message boxes and modal runs of dialogs, and the hook through which tests
// answer both at once. It runs a dialog's window as it finds it: what the
// window holds is the Dialog's.

#include "platform/Modal.h"
#include "platform/Application.h"
#include "platform/Dialog.h"
#include "platform/internal/CaptionBar.h"
#include "platform/internal/ModalHint.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <utility>

namespace platform {

namespace {
ModalHook* g_hook = nullptr;

// The size the styles give a message box's icon.
constexpr int kMessageBoxIconSize = 32;

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
    return std::exchange(g_hook, hook);
}

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, const QString& text, unsigned type)
{
    // Announced modal to the compositor while it is up.
    std::unique_ptr<QMessageBox> box = std::make_unique<AnnouncedModal<QMessageBox>>(
        IconFor(type), AppDisplayName(), text, QMessageBox::Ok, owner);
    UseDialogFont(box.get());
    // The box as without a theme: a theme names its buttons ("&OK" from
    // the GTK theme) and may draw its icons larger than 32 x 32.
    box->button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    if (box->icon() != QMessageBox::NoIcon) {
        const QPixmap icon = box->iconPixmap();
        const qreal ratio = icon.devicePixelRatio();
        const QSize size = QSize(kMessageBoxIconSize, kMessageBoxIconSize) * ratio;
        if (!icon.isNull() && icon.size() != size) {
            QPixmap fitted = icon.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            fitted.setDevicePixelRatio(ratio);
            box->setIconPixmap(fitted);
        }
    }
    if (DrawsOwnCaption())
        box->setContentsMargins(0, AddOwnCaption(box.get()), 0, 0);
    return box;
}

int MessageBox(QWidget* owner, const QString& text, unsigned type)
{
    if (g_hook)
        return g_hook->MessageBox(owner, text, type);
    MakeMessageBox(owner, text, type)->exec();
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
