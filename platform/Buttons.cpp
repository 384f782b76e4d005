// The Return key and the default button of a dialog: which button Return
// presses. The dialog's window asks DefaultButtonOf when the focus is on no
// push button; a push button with the focus takes Return itself. Knows push
// buttons and key events only, neither templates (whether a button is the
// template's default comes in as a flag) nor the dialog object.

#include "platform/internal/Buttons.h"

#include <QFocusEvent>
#include <QKeyEvent>

namespace platform {

bool IsReturnKey(const QKeyEvent* event)
{
    return (event->key() == Qt::Key_Return && event->modifiers() == Qt::NoModifier)
        || (event->key() == Qt::Key_Enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier);
}

DialogButton::DialogButton(const QString& text, QWidget* parent, bool templateDefault)
    : QPushButton(text, parent), m_bTemplateDefault(templateDefault)
{
    setAutoDefault(false);
    setDefault(templateDefault);
}

void DialogButton::focusInEvent(QFocusEvent* event)
{
    if (event->reason() != Qt::PopupFocusReason)
        MakeDefault(this);
    QPushButton::focusInEvent(event);
}

void DialogButton::focusOutEvent(QFocusEvent* event)
{
    if (event->reason() != Qt::PopupFocusReason)
        MakeDefault(nullptr);
    QPushButton::focusOutEvent(event);
}

void DialogButton::keyPressEvent(QKeyEvent* event)
{
    if (IsReturnKey(event)) {
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}

void DialogButton::MakeDefault(DialogButton* focused)
{
    // Only the dialog's own buttons: the window also holds the push buttons
    // of the message boxes it owns, which keep their own default, and
    // findChildren, which matches by Qt's type information, would give
    // them as DialogButtons too (this class adds none of its own).
    for (QPushButton* pushButton : window()->findChildren<QPushButton*>())
        if (auto* button = dynamic_cast<DialogButton*>(pushButton))
            button->setDefault(focused ? button == focused : button->m_bTemplateDefault);
}

QPushButton* DefaultButtonOf(const QWidget* window)
{
    for (QPushButton* button : window->findChildren<QPushButton*>())
        if (button->isDefault() && button->isVisible())
            return button;
    return nullptr;
}

} // namespace platform
