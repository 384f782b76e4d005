#pragma once
// Dialogs made from templates, as the game's windows (app/, highscores/,
// settings/) build on them: the dialog object, its data exchange, the main
// dialog and the help command. What only platform/ uses is declared in
// platform/internal/.

#include "platform/DialogTemplate.h"
#include "platform/Modal.h"
#include "platform/PixelSurface.h"

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

class QMenu;
class QMenuBar;

namespace platform {

struct MenuTemplate;
class Dialog;

// System commands of the window menu.
enum : unsigned {
    SC_MINIMIZE = 0xF020u,
    SC_CLOSE = 0xF060u,
};

// Copies values between a dialog's members and its controls, one direction
// per pass. A value that cannot be read back fails the pass.
class DataExchange {
public:
    DataExchange(Dialog& dialog, bool saveAndValidate)
        : m_dialog(dialog), m_bSaveAndValidate(saveAndValidate) {}

    Dialog& m_dialog;
    const bool m_bSaveAndValidate;
    bool m_bFailed = false;
    int m_nLastControl = IDC_STATIC;
};

// Text controls and integers: the control shows the value in decimal; read
// back, it must hold a whole number.
void DDX_Text(DataExchange& dx, int id, int& value);
// Text controls and 8-bit strings: one byte per character (Latin-1).
void DDX_Text(DataExchange& dx, int id, std::string& value);
// Limits the edit box of the last exchange to `count` characters.
void DDV_MaxChars(DataExchange& dx, const std::string& value, int count);

// A dialog object built from a template. The object lives as long as its
// owner wants; its window exists only between Create (or DoModal) and
// DestroyWindow, and the template's controls are rebuilt with each window.
class Dialog {
public:
    explicit Dialog(const DialogTemplate& dialogTemplate, const MenuTemplate* menu = nullptr);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Creates the window, runs it modally and destroys it; returns the value
    // given to EndDialog, or -1 when the window could not be run (it is
    // already open, for one).
    int DoModal();
    // Creates the window without running it. A child template needs a parent.
    bool Create(QWidget* parent = nullptr);
    void DestroyWindow();

    QWidget* Window() const { return m_window; }
    QWidget* Client() const { return m_client; }
    QMenuBar* MenuBar() const { return m_menuBar; }
    QWidget* GetDlgItem(int id) const;
    const DialogTemplate& Template() const { return m_template; }

    bool UpdateData(bool saveAndValidate = true);
    void EndDialog(int result);
    int Result() const { return m_nResult; }

    void ShowWindow(bool show);
    void SetFocus();
    // Minimises the window (a child window is hidden).
    void CloseWindow();

    // Window timers: SetTimer with an identifier already running replaces it.
    void SetTimer(std::uintptr_t id, unsigned milliseconds);
    void KillTimer(std::uintptr_t id);
    // The period of a running timer, or -1.
    int TimerPeriod(std::uintptr_t id) const;

    // The pixels of the client area; exists while the window does.
    PixelSurface* Surface() const { return m_surface.get(); }

    // The window menu, offered as the window's context menu. Created on
    // first use with Minimise and Close.
    QMenu* GetSystemMenu();

    // Sends a command as if a control or menu item had been chosen.
    void SendCommand(int id) { OnCommand(id); }
    // Delivers a key press as the window would (for the play area and tests).
    void SendKeyDown(unsigned virtualKey) { OnKeyDown(virtualKey); }

    // --- overridables ---------------------------------------------------
    virtual bool OnInitDialog();
    virtual void DoDataExchange(DataExchange& dx) { (void)dx; }
    virtual void OnOK();
    virtual void OnCancel();
    virtual void OnTimer(std::uintptr_t id) { (void)id; }
    virtual void OnKeyDown(unsigned virtualKey) { (void)virtualKey; }
    virtual void OnSysCommand(unsigned id, std::intptr_t lParam);
    // F1: the base handling runs the application's help command.
    virtual bool OnHelpInfo();
    virtual void OnInitMenuPopup(QMenu* popup, int index, bool sysMenu);
    // Dispatches through the message map; IDOK and IDCANCEL fall back to
    // OnOK and OnCancel.
    virtual void OnCommand(int id);

    // The window calls these; not for general use.
    void DispatchTimer(int qtTimerId);
    void ShowSystemMenu(const QPoint& globalPos);

protected:
    // One message-map entry: a command identifier and its handler.
    void OnCommandId(int id, std::function<void()> handler) { m_commands[id] = std::move(handler); }
    // The default processing of a system command.
    void DefaultSysCommand(unsigned id);

private:
    const DialogTemplate& m_template;
    const MenuTemplate* m_menu;
    QPointer<QWidget> m_window;
    QWidget* m_client = nullptr;
    QMenuBar* m_menuBar = nullptr;
    QMenu* m_systemMenu = nullptr;
    std::unique_ptr<PixelSurface> m_surface;
    std::map<int, QWidget*> m_controls;
    std::map<int, std::function<void()>> m_commands;
    struct Timer { int qtId; unsigned period; };
    std::map<std::uintptr_t, Timer> m_timers;
    int m_nResult = 0;
    // Set by EndDialog: the modal run is over, and no timer message reaches
    // the dialog any more, even one that was already due.
    bool m_bEnded = false;
};

// The application's main dialog: the default owner of every other top-level
// dialog and of message boxes.
void SetMainDialog(Dialog* dialog);
// The main dialog's window, the owner of the application's message boxes;
// nullptr while there is none.
QWidget* MainWindow();

// The application's help command, run by the base F1 handling.
void SetAppHelp(std::function<void()> help);

} // namespace platform
