#pragma once
// The Qt windows behind dialog objects. They hand what happens to the window
// (keys, timers, the window menu, OK and Cancel) to the Dialog that owns
// them, and decide nothing themselves beyond which key means what; what a
// window holds (caption bar, menu bar, controls) is the Dialog's to build.

#include "platform/internal/ModalHint.h"

#include <QDialog>
#include <QWidget>

class QContextMenuEvent;
class QEvent;
class QKeyEvent;
class QTimerEvent;

namespace platform {

class Dialog;

// The window behind a top-level dialog. Return presses the default button,
// or is the OK command where there is none; Escape is the Cancel command,
// F1 the help. It also watches the controls that take the focus (given to
// installEventFilter), so that the window menu's keys reach it whatever has
// the focus. Run modally as a dialog, it is announced modal to the compositor.
class TopLevelWindow : public AnnouncedModal<QDialog> {
public:
    TopLevelWindow(Dialog& owner, QWidget* parent, Qt::WindowFlags flags);

    void accept() override;
    void reject() override;

protected:
    void timerEvent(QTimerEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void OpenWindowMenu();

    Dialog& m_owner;
};

// The window behind a child dialog: an empty, borderless widget that takes
// the focus and hands its keys on to the dialog as virtual keys.
class ChildWindow : public QWidget {
public:
    ChildWindow(Dialog& owner, QWidget* parent);

protected:
    void timerEvent(QTimerEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    Dialog& m_owner;
};

} // namespace platform
