// The dialog object's life: its window made from the template (the Qt
// window, caption bar, menu bar, client area, controls and pixel surface),
// run modally and destroyed; its timers, its window menu and the default
// handling of commands, system commands and F1; and the main dialog, which
// owns the other windows. The controls, their data exchange, the caption bar
// and the windows' key handling each have a file of their own.

#include "platform/Dialog.h"
#include "platform/Application.h"
#include "platform/DialogUnits.h"
#include "platform/Menu.h"
#include "platform/internal/CaptionBar.h"
#include "platform/internal/Controls.h"
#include "platform/internal/DialogWindows.h"

#include <QAction>
#include <QDialog>
#include <QMenu>
#include <QMenuBar>
#include <utility>

namespace platform {

namespace {

Dialog* g_mainDialog = nullptr;
std::function<void()> g_appHelp;

} // namespace

void SetMainDialog(Dialog* dialog) { g_mainDialog = dialog; }
QWidget* MainWindow() { return g_mainDialog ? g_mainDialog->Window() : nullptr; }

// --- the dialog -----------------------------------------------------------

Dialog::Dialog(const DialogTemplate& dialogTemplate, const MenuTemplate* menu)
    : m_template(dialogTemplate), m_menu(menu)
{
}

Dialog::~Dialog()
{
    DestroyWindow();
    if (g_mainDialog == this)
        g_mainDialog = nullptr;
}

int Dialog::DoModal()
{
    if (m_window || !Create(nullptr))
        return -1;
    const int result = RunModal(*this);
    DestroyWindow();
    return result;
}

bool Dialog::Create(QWidget* parent)
{
    if (m_window)
        return false;
    const QSize clientSize(DluToPxX(m_template.cx), DluToPxY(m_template.cy));
    m_nResult = 0;
    m_bEnded = false;
    // The window menu's keys reach a top-level window whatever has the focus.
    QObject* keyFilter = nullptr;

    if (m_template.style & DS_CHILD) {
        if (!parent)
            return false;
        auto* window = new ChildWindow(*this, parent);
        // A child window has no caption bar; it is called by its template's
        // caption, else by the window it lies in.
        window->setAccessibleName(m_template.caption && *m_template.caption
                                      ? QString::fromUtf8(m_template.caption)
                                      : parent->window()->windowTitle());
        window->setGeometry(DluRectToPx(m_template.x, m_template.y, m_template.cx, m_template.cy));
        m_window = window;
        m_client = window;
    } else {
        if (!parent && g_mainDialog && g_mainDialog != this)
            parent = g_mainDialog->Window();
        Qt::WindowFlags flags = Qt::CustomizeWindowHint | Qt::WindowTitleHint;
        flags |= (this == g_mainDialog) ? Qt::Window : Qt::Dialog;
        if (m_template.style & DS_SYSMENU)
            flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        if (this == g_mainDialog)
            flags |= Qt::WindowMinimizeButtonHint;
        auto* window = new TopLevelWindow(*this, parent, flags);
        keyFilter = window;
        UseDialogFont(window);
        window->setWindowTitle(QString::fromUtf8(m_template.caption));
        m_window = window;
        const int top = DrawsOwnCaption() ? AddOwnCaption(window) : 0;

        int menuHeight = 0;
        if (m_menu) {
            m_menuBar = BuildMenuBar(*m_menu, window, [this](unsigned id) { OnCommand(static_cast<int>(id)); });
            const QList<QAction*> popups = m_menuBar->actions();
            for (int index = 0; index < popups.size(); ++index) {
                QMenu* popup = popups[index]->menu();
                QObject::connect(popup, &QMenu::aboutToShow, window,
                                 [this, popup, index] { OnInitMenuPopup(popup, index, false); });
            }
            menuHeight = m_menuBar->sizeHint().height();
            m_menuBar->setGeometry(0, top, clientSize.width(), menuHeight);
        }
        m_client = new QWidget(window);
        m_client->setGeometry(QRect(QPoint(0, top + menuHeight), clientSize));
        const QSize windowSize(clientSize.width(), top + menuHeight + clientSize.height());
        // Before the main window first shows, the scale is made to fit it.
        if (this == g_mainDialog)
            FitScaleFactors(windowSize);
        window->setFixedSize(windowSize);
    }

    m_controls = BuildControls(m_template, m_client, keyFilter, [this](int id) { OnCommand(id); });
    if (!(m_template.style & DS_CHILD)) {
        m_surface = std::make_unique<PixelSurface>(clientSize);
        auto* overlay = new PixelOverlay(*m_surface, m_client);
        overlay->raise();
    }
    OnInitDialog();
    return true;
}

void Dialog::DestroyWindow()
{
    if (!m_window) {
        m_controls.clear();
        m_surface.reset();
        return;
    }
    QWidget* window = m_window;
    for (const auto& [id, timer] : m_timers)
        window->killTimer(timer.qtId);
    m_timers.clear();
    m_controls.clear();
    m_window = nullptr;
    m_client = nullptr;
    m_menuBar = nullptr;
    m_systemMenu = nullptr;
    delete window;
    m_surface.reset();
}

QWidget* Dialog::GetDlgItem(int id) const
{
    if (!m_window)
        return nullptr;
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

bool Dialog::UpdateData(bool saveAndValidate)
{
    if (!m_window)
        return false;
    DataExchange dx(*this, saveAndValidate);
    DoDataExchange(dx);
    return !dx.m_bFailed;
}

void Dialog::EndDialog(int result)
{
    m_nResult = result;
    m_bEnded = true;
    if (auto* dialog = qobject_cast<QDialog*>(m_window.data()))
        dialog->done(result);
}

void Dialog::ShowWindow(bool show)
{
    if (m_window)
        m_window->setVisible(show);
}

void Dialog::SetFocus()
{
    if (m_window)
        m_window->setFocus(Qt::OtherFocusReason);
}

void Dialog::CloseWindow()
{
    if (!m_window)
        return;
    if (m_window->isWindow())
        m_window->showMinimized();
    else
        m_window->hide();
}

void Dialog::SetTimer(std::uintptr_t id, unsigned milliseconds)
{
    if (!m_window)
        return;
    KillTimer(id);
    const int qtId = m_window->startTimer(static_cast<int>(milliseconds), Qt::PreciseTimer);
    if (qtId != 0)
        m_timers[id] = Timer{qtId, milliseconds};
}

void Dialog::KillTimer(std::uintptr_t id)
{
    const auto it = m_timers.find(id);
    if (it == m_timers.end())
        return;
    if (m_window)
        m_window->killTimer(it->second.qtId);
    m_timers.erase(it);
}

int Dialog::TimerPeriod(std::uintptr_t id) const
{
    const auto it = m_timers.find(id);
    return it == m_timers.end() ? -1 : static_cast<int>(it->second.period);
}

void Dialog::DispatchTimer(int qtTimerId)
{
    if (m_bEnded)
        return;
    for (const auto& [id, timer] : m_timers)
        if (timer.qtId == qtTimerId) {
            OnTimer(id);
            return;
        }
}

QMenu* Dialog::GetSystemMenu()
{
    if (!m_window || !m_window->isWindow())
        return nullptr;
    if (!m_systemMenu) {
        m_systemMenu = new QMenu(m_window);
        UseDialogFont(m_systemMenu);
        const auto send = [this](unsigned id) { OnSysCommand(id, 0); };
        AppendMenu(m_systemMenu, MF_STRING, SC_MINIMIZE, QStringLiteral("Mi&nimise"), send);
        AppendMenu(m_systemMenu, MF_STRING, SC_CLOSE, QStringLiteral("&Close"), send);
    }
    return m_systemMenu;
}

void Dialog::ShowSystemMenu(const QPoint& globalPos)
{
    if (!m_systemMenu || !(m_template.style & DS_SYSMENU))
        return;
    OnInitMenuPopup(m_systemMenu, 0, true);
    m_systemMenu->popup(globalPos);
}

bool Dialog::OnInitDialog()
{
    UpdateData(false);
    return true;
}

void Dialog::OnOK()
{
    if (!UpdateData(true))
        return;
    EndDialog(IDOK);
}

void Dialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void Dialog::OnSysCommand(unsigned id, std::intptr_t)
{
    DefaultSysCommand(id);
}

void Dialog::DefaultSysCommand(unsigned id)
{
    if (!m_window)
        return;
    switch (id & 0xFFF0u) {
    case SC_MINIMIZE: m_window->showMinimized(); break;
    case SC_CLOSE: m_window->close(); break;
    default: break;
    }
}

void Dialog::OnInitMenuPopup(QMenu*, int, bool) {}

bool Dialog::OnHelpInfo()
{
    if (!g_appHelp)
        return false;
    g_appHelp();
    return true;
}

void SetAppHelp(std::function<void()> help) { g_appHelp = std::move(help); }

void Dialog::OnCommand(int id)
{
    const auto it = m_commands.find(id);
    if (it != m_commands.end()) {
        it->second();
        return;
    }
    if (id == IDOK)
        OnOK();
    else if (id == IDCANCEL)
        OnCancel();
}

} // namespace platform
