// The Qt windows behind dialog objects: they turn the window's events into
// the dialog's calls (keys, timers, the window menu, OK and Cancel). Which
// key means what is decided here; what the window holds, and what a command
// does, is the Dialog's. Nothing here knows templates.

#include "platform/internal/DialogWindows.h"
#include "platform/Dialog.h"
#include "platform/internal/Buttons.h"
#include "platform/internal/CaptionBar.h"
#include "platform/internal/Keys.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QTimerEvent>

namespace platform {

namespace {

// The keys that open the window menu: the context-menu key and Shift+F10,
// as for any context menu, and Alt+Space where the program draws the
// caption bar; under a window manager's caption bar Alt+Space opens the
// window manager's own menu.
bool IsWindowMenuKey(const QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    return (event->key() == Qt::Key_Menu && modifiers == Qt::NoModifier)
        || (event->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier)
        || (event->key() == Qt::Key_Space && modifiers == Qt::AltModifier && DrawsOwnCaption());
}

} // namespace

// --- the window behind a top-level dialog ------------------------------------

TopLevelWindow::TopLevelWindow(Dialog& owner, QWidget* parent, Qt::WindowFlags flags)
    : AnnouncedModal<QDialog>(parent, flags), m_owner(owner)
{
}

void TopLevelWindow::accept() { m_owner.OnCommand(IDOK); }
void TopLevelWindow::reject() { m_owner.OnCommand(IDCANCEL); }

void TopLevelWindow::timerEvent(QTimerEvent* event) { m_owner.DispatchTimer(event->timerId()); }

void TopLevelWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        m_owner.OnHelpInfo();
        return;
    }
    // Return presses the default button; with none (the template has
    // no default push button and the focus is on none), it is the OK
    // command, as Escape is the Cancel command.
    if (IsReturnKey(event)) {
        if (QPushButton* button = DefaultButtonOf(this)) {
            if (button->isEnabled())
                button->click();
        } else {
            m_owner.OnCommand(IDOK);
        }
        return;
    }
    if (IsWindowMenuKey(event)) {
        OpenWindowMenu();
        return;
    }
    QDialog::keyPressEvent(event);
}

// Watches the window's controls: a button takes Space with any modifier
// as a click, so Alt+Space must be caught before it gets there.
bool TopLevelWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && IsWindowMenuKey(static_cast<QKeyEvent*>(event))) {
        OpenWindowMenu();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

// Opened from the keyboard, the menu opens at the client area's corner
// and is used from the keyboard: its first item is highlighted, and the
// arrows and Return work at once.
void TopLevelWindow::OpenWindowMenu()
{
    m_owner.ShowSystemMenu(m_owner.Client()->mapToGlobal(QPoint(0, 0)));
    if (QMenu* menu = m_owner.GetSystemMenu(); menu && menu->isVisible() && !menu->actions().isEmpty())
        menu->setActiveAction(menu->actions().constFirst());
}

void TopLevelWindow::contextMenuEvent(QContextMenuEvent* event)
{
    m_owner.ShowSystemMenu(event->globalPos());
}

// --- the window behind a child dialog -----------------------------------------

ChildWindow::ChildWindow(Dialog& owner, QWidget* parent) : QWidget(parent), m_owner(owner)
{
    setFocusPolicy(Qt::StrongFocus);
}

void ChildWindow::timerEvent(QTimerEvent* event) { m_owner.DispatchTimer(event->timerId()); }

void ChildWindow::keyPressEvent(QKeyEvent* event)
{
    m_owner.OnKeyDown(VirtualKeyOf(*event));
    // Then the default processing: the parent sees the key too.
    event->ignore();
}

} // namespace platform
