#pragma once
// Which button the Return key presses in a dialog: the rules of the
// default button, and the key itself. Knows push buttons and key events
// only: whether a button is the template's "default push button" comes in
// as a flag, and nothing here knows templates or the dialog object.

#include <QPushButton>

class QFocusEvent;
class QKeyEvent;
class QWidget;

namespace platform {

// Return, or Enter on the keypad, without a modifier.
bool IsReturnKey(const QKeyEvent* event);

// A push button of a dialog. The template decides which button is the
// dialog's default: its "default push button", or none. Any push button is
// the default while it holds the focus, and Return presses it then; when the
// focus leaves, the template's default (if any) is the default again. Qt's
// own "auto default" is off: it would make the first button the default of a
// dialog that has none, and keep a button default after the focus left it.
class DialogButton : public QPushButton {
public:
    DialogButton(const QString& text, QWidget* parent, bool templateDefault);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Makes `focused` the window's default button, or, with nullptr, the
    // template's default push button again.
    void MakeDefault(DialogButton* focused);

    const bool m_bTemplateDefault;
};

// The button Return presses when the focus is on no push button: the
// window's visible default button, or nullptr.
QPushButton* DefaultButtonOf(const QWidget* window);

} // namespace platform
